// Every fixed path of the system ("/dev/console", "/tmp/cnscmd", "/proc/net/dev", ...) is
// resolved here. With the environment variable ROUTER_ROOT set to a directory, the path is
// taken under that directory, so a development host or a test never touches its own system;
// unset (or empty), paths are exactly the router's. Safe from any thread.
#pragma once

#include <cstddef>

// The router root, or nullptr when the system runs on its own paths.
const char *router_root();

// Writes the host path of `system_path` into `out`. Returns false (and an empty `out`) when
// it does not fit.
[[nodiscard]] bool router_path(const char *system_path, char *out, size_t out_size);

// A resolved path on the stack: `RouterPath p("/dev/console"); open(p.c_str(), ...)`.
class RouterPath {
  public:
    explicit RouterPath(const char *system_path) {
        ok_ = router_path(system_path, buf_, sizeof buf_);
    }
    const char *c_str() const { return buf_; }
    [[nodiscard]] bool ok() const { return ok_; }

  private:
    char buf_[1024];
    bool ok_;
};

// Creates the directory `system_dir` (under the router root) and its parents, as mkdir -p.
// Returns 0, or -1 with errno set.
[[nodiscard]] int router_mkdirs(const char *system_dir);
