// The HTTP response reader on arbitrary bytes. The first byte picks how the
// rest is cut into pieces, whether the exchange is raw and a small cap; the
// same bytes fed whole, in pieces and received straight into the body's room
// must read alike, and what is read keeps the reader's promises.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "services/net_internal.hpp"

namespace {

using Reader = zcore::HttpResponseReader;

void check(bool condition) {
    if (!condition) abort();
}

Reader::State settle(Reader& r) {
    return r.state() == Reader::State::Header || r.state() == Reader::State::Body ? r.finish() : r.state();
}

void fedInPieces(Reader& r, std::string_view in, size_t piece) {
    while (!in.empty()) {
        const size_t n = std::min(piece, in.size());
        r.feed(in.data(), n);
        in.remove_prefix(n);
    }
}

// Header bytes through feed, body bytes copied into bodyRoom as a socket
// would receive them.
void received(Reader& r, std::string_view in, size_t piece) {
    while (!in.empty() && r.state() == Reader::State::Header) {
        r.feed(in.data(), 1);
        in.remove_prefix(1);
    }
    while (!in.empty() && r.state() == Reader::State::Body) {
        const auto room = r.bodyRoom();
        if (room.empty()) break;
        const size_t n = std::min({room.size(), in.size(), piece});
        std::memcpy(room.data(), in.data(), n);
        r.bodyCommit(n);
        in.remove_prefix(n);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    const uint8_t mode = data[0];
    const std::string_view in(reinterpret_cast<const char*>(data + 1), size - 1);
    const size_t piece = (mode & 0x0f) + 1;
    const bool raw = mode & 0x10;
    const size_t cap = (mode & 0x20) ? 64 : zcore::kNetMaxBody;

    Reader whole(raw, cap), pieces(raw, cap), direct(raw, cap);
    whole.feed(in.data(), in.size());
    fedInPieces(pieces, in, piece);
    received(direct, in, piece);
    const Reader::State end = settle(whole);
    check(end == Reader::State::Done || end == Reader::State::Failed);

    for (Reader* other : {&pieces, &direct}) {
        check(settle(*other) == end);
        check(other->status() == whole.status());
        check(other->contentLength() == whole.contentLength());
        if (end == Reader::State::Done) {
            check(other->bodyLength() == whole.bodyLength());
            check(whole.bodyLength() == 0 || std::memcmp(other->body(), whole.body(), whole.bodyLength()) == 0);
        }
    }
    if (whole.status() != 0) {
        check(!raw && in.substr(0, 5) == "HTTP/");
        check(whole.status() >= 0 && whole.status() <= 999);
    }
    if (end == Reader::State::Failed) {
        check(whole.failure() != nullptr);
        return 0;
    }
    check(whole.bodyLength() <= cap);
    if (raw)
        check(whole.bodyLength() == in.size() &&
              std::memcmp(whole.body() ? whole.body() : "", in.data(), in.size()) == 0);
    if (whole.contentLength() >= 0) check(whole.bodyLength() == static_cast<size_t>(whole.contentLength()));
    // The body is the tail of what came, right after the header's end.
    if (!raw && whole.bodyLength() > 0) {
        const std::string body(whole.body(), whole.bodyLength());
        check(in.find(body) != std::string_view::npos);
    }
    const size_t n = whole.bodyLength();
    zcore::MallocPtr<char> body = whole.takeBody();
    check(body != nullptr && body.get()[n] == '\0');
    return 0;
}
