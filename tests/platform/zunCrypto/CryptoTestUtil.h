// Helpers of the crypto layer's tests: hex, patterned data, the openssl tool.
#pragma once

#include <zunCrypto/zunCrypto.h>

#include <map>
#include <string>
#include <vector>

namespace zctest {

using Bytes = std::vector<unsigned char>;

std::string toHex(const unsigned char* p, size_t n);
inline std::string toHex(const Bytes& b) { return toHex(b.data(), b.size()); }
Bytes fromHex(const std::string& hex);
Bytes bytesOf(const std::string& s);
// Deterministic, non-repeating test data.
Bytes pattern(size_t n, unsigned seed = 1);

// Runs the openssl tool with input on stdin; fails the test on a non-zero exit.
std::string openssl(const std::vector<std::string>& args, const Bytes& input = {});
// The same, returning the exit status (for checks expected to fail).
int opensslStatus(const std::vector<std::string>& args, const Bytes& input = {});

// A vectors file of this suite, flattened by Python's json module into one
// map per case (values as the file's strings; numbers as decimal text).
std::vector<std::map<std::string, std::string>> loadCases(const std::string& file);

// Folder of the JSON vectors.
std::string vectorsDir();

}  // namespace zctest
