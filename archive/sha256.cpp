#include "archive/sha256.h"

#include <openssl/evp.h>
#include <unistd.h>

#include <cerrno>
#include <memory>
#include <vector>

#include "storage/posix_io.h"

namespace vanta::archive {

namespace {

struct ContextFree {
    void operator()(EVP_MD_CTX* c) const { EVP_MD_CTX_free(c); }
};

std::string hex(const unsigned char* digest, unsigned n) {
    static const char digits[] = "0123456789abcdef";
    std::string out(2 * n, '0');
    for (unsigned i = 0; i < n; ++i) {
        out[2 * i] = digits[digest[i] >> 4];
        out[2 * i + 1] = digits[digest[i] & 15];
    }
    return out;
}

}  // namespace

std::string sha256Hex(std::string_view bytes) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned n = 0;
    EVP_Digest(bytes.data(), bytes.size(), digest, &n, EVP_sha256(), nullptr);
    return hex(digest, n);
}

bool sha256OfFile(int fd, std::string& hexDigest, int64_t& size) {
    std::unique_ptr<EVP_MD_CTX, ContextFree> ctx(EVP_MD_CTX_new());
    if (!ctx || EVP_DigestInit_ex(ctx.get(), EVP_sha256(), nullptr) != 1) return false;
    // 256 KiB: a typical test file in one or two reads, without a buffer per file on the
    // heap of each thread growing with the file.
    thread_local std::vector<unsigned char> buffer(256 * 1024);
    int64_t total = 0;
    for (;;) {
        const IoResult got = readExactlyAt(fd, buffer.data(), buffer.size(), static_cast<uint64_t>(total));
        if (got.error != 0) return false;
        if (got.done > 0 && EVP_DigestUpdate(ctx.get(), buffer.data(), got.done) != 1) return false;
        total += static_cast<int64_t>(got.done);
        if (got.done < buffer.size()) break;  // the end of the file
    }
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned n = 0;
    if (EVP_DigestFinal_ex(ctx.get(), digest, &n) != 1) return false;
    hexDigest = hex(digest, n);
    size = total;
    return true;
}

}  // namespace vanta::archive
