#include "tools/ssltest_run.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace {

constexpr char kDefaultAddr[] = "127.0.0.1";
constexpr uint16_t kDefaultPort = 443;
constexpr char kHello[] = "Hello World!";
constexpr int kAnswerMax = 4095;

// The OpenSSL error queue on `err`; when it is empty (a reset or a closed socket), what the
// connection said instead.
void tls_errors(SSL *ssl, int rc, const char *step, FILE *err) {
    if (ERR_peek_error() != 0) {
        ERR_print_errors_fp(err);
    } else {
        int e = SSL_get_error(ssl, rc);
        if (e == SSL_ERROR_SYSCALL && errno != 0)
            fprintf(err, "%s: %s\n", step, strerror(errno));
        else if (e == SSL_ERROR_ZERO_RETURN || e == SSL_ERROR_SYSCALL)
            fprintf(err, "%s: the server closed the connection\n", step);
        else
            fprintf(err, "%s: TLS error %d\n", step, e);
    }
    fflush(err);
}

void say(FILE *out) {
    fflush(out);
}

// The one-line form of a certificate name, printed as "\t LABEL: NAME"; false when missing.
bool print_name(X509_NAME *name, const char *label, FILE *out) {
    if (!name) return false;
    char *text = X509_NAME_oneline(name, nullptr, 0);
    if (!text) return false;
    fprintf(out, "\t %s: %s\n", label, text);
    say(out);
    OPENSSL_free(text);
    return true;
}

int exchange(SSL *ssl, FILE *out, FILE *err) {
    ERR_clear_error();
    errno = 0;
    int rc = SSL_connect(ssl);
    if (rc <= 0) {
        tls_errors(ssl, rc, "handshake", err);
        return kSsltestExchange;
    }
    fprintf(out, "SSL connection using %s\n", SSL_get_cipher(ssl));
    say(out);

    X509 *cert = SSL_get1_peer_certificate(ssl);
    if (!cert) {
        fprintf(err, "ssltest: the server sent no certificate\n");
        return kSsltestSetup;
    }
    fprintf(out, "Server certificate:\n");
    say(out);
    bool names = print_name(X509_get_subject_name(cert), "subject", out) &&
                 print_name(X509_get_issuer_name(cert), "issuer", out);
    X509_free(cert);
    if (!names) return kSsltestSetup;

    errno = 0;
    rc = SSL_write(ssl, kHello, sizeof kHello - 1);
    if (rc <= 0) {
        tls_errors(ssl, rc, "write", err);
        return kSsltestExchange;
    }
    char answer[kAnswerMax + 1];
    errno = 0;
    rc = SSL_read(ssl, answer, kAnswerMax);
    if (rc <= 0) {
        tls_errors(ssl, rc, "read", err);
        return kSsltestExchange;
    }
    // Exactly the bytes read, NULs included.
    fprintf(out, "Got %d chars:'", rc);
    fwrite(answer, 1, static_cast<size_t>(rc), out);
    fprintf(out, "'\n");
    say(out);
    (void)SSL_shutdown(ssl);  // our close_notify; the server's is not waited for
    return kSsltestOk;
}

}  // namespace

bool ssltest_target(const char *addr_env, const char *port_env, uint32_t *addr_be, uint16_t *port,
                    FILE *err) {
    const char *addr = addr_env && *addr_env ? addr_env : kDefaultAddr;
    in_addr a;
    if (inet_pton(AF_INET, addr, &a) != 1) {
        fprintf(err, "ssltest: SSLTEST_ADDR \"%.64s\" is not a dotted IPv4 address\n", addr);
        return false;
    }
    *addr_be = a.s_addr;
    *port = kDefaultPort;
    if (port_env && *port_env) {
        char *end = nullptr;
        errno = 0;
        long p = strtol(port_env, &end, 10);
        if (errno || *end || p < 1 || p > 65535) {
            fprintf(err, "ssltest: SSLTEST_PORT \"%.16s\" is not a port (1 to 65535)\n", port_env);
            return false;
        }
        *port = static_cast<uint16_t>(p);
    }
    return true;
}

int ssltest_run(uint32_t addr_be, uint16_t port, FILE *out, FILE *err) {
    SSL_library_init();
    SSL_load_error_strings();
    SSL_CTX *ctx = SSL_CTX_new(TLS_client_method());
    if (!ctx) {
        ERR_print_errors_fp(err);
        return kSsltestSetup;
    }
    int sd = socket(AF_INET, SOCK_STREAM, 0);
    if (sd < 0) {
        fprintf(err, "socket: %s\n", strerror(errno));
        SSL_CTX_free(ctx);
        return kSsltestSetup;
    }
    sockaddr_in sa = {};
    sa.sin_family = AF_INET;
    sa.sin_addr.s_addr = addr_be;
    sa.sin_port = htons(port);
    if (connect(sd, reinterpret_cast<sockaddr *>(&sa), sizeof sa) < 0) {
        fprintf(err, "connect: %s\n", strerror(errno));
        close(sd);
        SSL_CTX_free(ctx);
        return kSsltestSetup;
    }
    int status = kSsltestSetup;
    SSL *ssl = SSL_new(ctx);
    if (!ssl) {
        ERR_print_errors_fp(err);
    } else if (SSL_set_fd(ssl, sd) != 1) {
        ERR_print_errors_fp(err);
    } else {
        status = exchange(ssl, out, err);
    }
    if (ssl) SSL_free(ssl);
    close(sd);
    SSL_CTX_free(ctx);
    return status;
}
