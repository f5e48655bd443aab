// Who may use the web page: the operator password's hash file, the login
// rate limit, the sessions (cookie and CSRF token) and the names a bulletin
// may be uploaded under. Everything here is logic on its own, without the
// HTTP server, so that it can be checked on its own.
#pragma once

#include <chrono>
#include <cstddef>
#include <map>
#include <optional>
#include <string>

namespace sked::web {

using Steady = std::chrono::steady_clock::time_point;

// The password's hash (libsodium's Argon2id string) written to `path`, mode
// 0600, replacing the file whole. False with the reason when it cannot.
bool WritePasswordHash(const std::string& path, const std::string& password, std::string& problem);
// The hash kept in `path`: its first line, which must be one WritePasswordHash made.
std::optional<std::string> ReadPasswordHash(const std::string& path, std::string& problem);
// Whether `password` is the one `hash` was made from (slow on purpose: run beside the loop).
bool PasswordMatches(const std::string& hash, const std::string& password);

// Login attempts per client address: a burst of kBurst, then one every
// kRefill. An address that keeps guessing is slowed to a few guesses a minute.
class LoginLimiter {
public:
    static constexpr int kBurst = 5;
    static constexpr std::chrono::seconds kRefill{12};
    static constexpr std::size_t kMaxAddresses = 4096;

    // Takes one attempt for `address` at `now`; false when it must wait.
    bool Allow(const std::string& address, Steady now);
    // A successful login clears the address's record.
    void Succeeded(const std::string& address) { buckets_.erase(address); }

private:
    struct Bucket {
        double tokens = kBurst;
        Steady updated;
    };
    std::map<std::string, Bucket> buckets_;
};

// The logged-in browsers. The cookie holds a random token; only a digest of
// it is kept, so neither a lookup's timing nor a memory dump gives one away.
class Sessions {
public:
    static constexpr std::chrono::hours kIdleLimit{12};
    static constexpr std::size_t kMaxSessions = 64;

    struct Session {
        std::string csrf;  // sent back with every state-changing request
        Steady lastUsed;
    };
    // A new session; its cookie token in `token`.
    const Session& Open(Steady now, std::string& token);
    // The session of a cookie token, refreshed; nullptr when unknown or expired.
    const Session* Find(const std::string& token, Steady now);
    void Close(const std::string& token) { sessions_.erase(Digest(token)); }
    std::size_t Count() const { return sessions_.size(); }

private:
    static std::string Digest(const std::string& token);
    std::map<std::string, Session> sessions_;
};

// Equal in time independent of where they differ.
bool SameSecret(const std::string& a, const std::string& b);
// `bytes` random bytes as hexadecimal.
std::string RandomHex(std::size_t bytes);

// Why a bulletin may not be uploaded as `name` into data/; "" when it may.
// One plain file name of letters, digits, '.', '-' and '_', not hidden, not
// the schedule (edited under the editor's rules) and not too long.
std::string UploadNameProblem(const std::string& name);
inline constexpr std::size_t kMaxUploadName = 64;
inline constexpr std::size_t kMaxUploadBytes = 256 * 1024;

}  // namespace sked::web
