#pragma once
// The chain value of an archive line, for the archive's check. Its members depend on
// VZ_OPENSSL_HASH, a private definition of vz_pregledi: only the library's own files include it.
#include "ExamChain.h"

#include <QByteArray>
#include <QByteArrayView>

#if VZ_OPENSSL_HASH
#include <openssl/evp.h>
#include <openssl/hmac.h>
#endif

namespace vz::verify_parts {

// The value of an entry after `previous` for `bytes`, as chainHash() makes it. The archive is
// most of what verify hashes, so where OpenSSL is at hand its SHA-256 (which uses the
// processor's SHA instructions) does the work; the result is the same.
class LinkHasher {
public:
#if VZ_OPENSSL_HASH
    LinkHasher() : context_(EVP_MD_CTX_new()) {}
    ~LinkHasher() {
        EVP_MD_CTX_free(context_);
    }
#endif
    LinkHasher(const LinkHasher&) = delete;
    LinkHasher& operator=(const LinkHasher&) = delete;

    QByteArray hash(const QByteArray& previous, QByteArrayView bytes, const QByteArray* key) {
#if VZ_OPENSSL_HASH
        if (!key && context_) {
            static const QByteArray zeros(kChainHashSize, '\0');
            const QByteArray& link = previous.isEmpty() ? zeros : previous;
            QByteArray out(EVP_MAX_MD_SIZE, '\0');
            unsigned int length = 0;
            if (EVP_DigestInit_ex(context_, EVP_sha256(), nullptr) == 1 &&
                EVP_DigestUpdate(context_, link.constData(), size_t(link.size())) == 1 &&
                EVP_DigestUpdate(context_, bytes.data(), size_t(bytes.size())) == 1 &&
                EVP_DigestFinal_ex(context_, reinterpret_cast<unsigned char*>(out.data()), &length) == 1) {
                out.truncate(length);
                return out;
            }
        }
        buffer_.resize(0);
        if (previous.isEmpty())
            buffer_.append(kChainHashSize, '\0');
        else
            buffer_.append(previous);
        buffer_.append(bytes);
        QByteArray out(EVP_MAX_MD_SIZE, '\0');
        unsigned int length = 0;
        const auto* data = reinterpret_cast<const unsigned char*>(buffer_.constData());
        bool done;
        if (key)
            done = HMAC(EVP_sha256(), key->constData(), int(key->size()), data, size_t(buffer_.size()),
                        reinterpret_cast<unsigned char*>(out.data()), &length) != nullptr;
        else
            done = EVP_Digest(data, size_t(buffer_.size()), reinterpret_cast<unsigned char*>(out.data()),
                              &length, EVP_sha256(), nullptr) == 1;
        if (done) {
            out.truncate(length);
            return out;
        }
#endif
        return chainHash(previous, bytes.toByteArray(), key);
    }

private:
    QByteArray buffer_;
#if VZ_OPENSSL_HASH
    EVP_MD_CTX* context_ = nullptr;
#endif
};

} // namespace vz::verify_parts
