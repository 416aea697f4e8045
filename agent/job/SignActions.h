// The log-in and sign actions behind the certificate-entry window's OK: sign
// the relay's nonce (and the job's data), encipher the key random and the
// device facts under the nonce, post the result and end the job.
//
// Every path that ends the job posts exactly one outcome (the result, or one
// job code) and closes the job's window; a path that leaves the window open
// for another try posts nothing. Results: 0 the job was ended, 1 the window
// stays open.
#pragma once

#include <string>

inline constexpr int kActionJobEnded = 0;
inline constexpr int kActionRetry = 1;

// With the certificate the user chose in the list (its record holds the
// password).
int buttonLogin_clicked();
int buttonSign_clicked();
// With a PKCS#12 file and its password.
int sig_Get_PFXFile_Login_clicked(const char* pfxPath, const char* password);
int sig_Get_PFXFile_Sign_clicked(const char* pfxPath, const char* password);

// The wrong-password counters of the list forms: five misses in a row end
// the job with 1425; a success starts them again.
inline constexpr int kPasswordTries = 5;
int LoginPasswordMisses();
int SignPasswordMisses();

// The tries-left warning for misses (1-4) wrong entries so far.
std::string PasswordTriesLeftText(int misses);

// The result texts (for the tests): "er=&cert=..&sg=..&devinfo=.." of a
// log-in, the device-info text of the facts, each value enciphered under
// key/iv (16 bytes each): false when a SEED-CBC run fails.
bool MakeDeviceInfoText(const unsigned char* key, const unsigned char* iv, std::string& out);
bool EncryptForRelay(const unsigned char* key, const unsigned char* iv, const std::string& plain, std::string& out);
