#include "web/web_access.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>

#include <fcntl.h>
#include <sodium.h>
#include <sys/stat.h>
#include <unistd.h>

namespace sked::web {

namespace {

bool SodiumReady() {
    static const bool ready = ::sodium_init() >= 0;
    return ready;
}

}  // namespace

bool WritePasswordHash(const std::string& path, const std::string& password, std::string& problem) {
    char hash[crypto_pwhash_STRBYTES];
    if (!SodiumReady() || ::crypto_pwhash_str(hash, password.data(), password.size(), crypto_pwhash_OPSLIMIT_INTERACTIVE,
                                              crypto_pwhash_MEMLIMIT_INTERACTIVE) != 0) {
        problem = "the hash could not be worked out (out of memory?)";
        return false;
    }
    const std::string temporary = path + ".new";
    const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) {
        problem = temporary + ": " + std::strerror(errno);
        return false;
    }
    const std::string line = std::string(hash) + "\n";
    const bool written = ::write(fd, line.data(), line.size()) == static_cast<ssize_t>(line.size()) &&
                         ::fchmod(fd, 0600) == 0 && ::fsync(fd) == 0;
    const int error = errno;
    ::close(fd);
    if (!written || ::rename(temporary.c_str(), path.c_str()) != 0) {
        problem = path + ": " + std::strerror(written ? errno : error);
        ::unlink(temporary.c_str());
        return false;
    }
    return true;
}

std::optional<std::string> ReadPasswordHash(const std::string& path, std::string& problem) {
    std::ifstream file(path);
    std::string line;
    if (!file || !std::getline(file, line)) {
        problem = path + ": " + (file ? "empty" : std::strerror(errno));
        return std::nullopt;
    }
    if (!line.starts_with("$argon2") || line.size() >= crypto_pwhash_STRBYTES) {
        problem = path + ": not a password hash (write one with skedcast passwd " + path + ")";
        return std::nullopt;
    }
    return line;
}

bool PasswordMatches(const std::string& hash, const std::string& password) {
    return SodiumReady() && ::crypto_pwhash_str_verify(hash.c_str(), password.data(), password.size()) == 0;
}

bool LoginLimiter::Allow(const std::string& address, Steady now) {
    auto it = buckets_.find(address);
    if (it == buckets_.end()) {
        // A flood of addresses forgets the oldest records, never the limit itself for the newest.
        if (buckets_.size() >= kMaxAddresses) {
            buckets_.erase(std::min_element(buckets_.begin(), buckets_.end(), [](const auto& a, const auto& b) {
                return a.second.updated < b.second.updated;
            }));
        }
        it = buckets_.emplace(address, Bucket{kBurst, now}).first;
    }
    Bucket& bucket = it->second;
    const double earned = std::chrono::duration<double>(now - bucket.updated) / kRefill;
    bucket.tokens = std::min<double>(kBurst, bucket.tokens + std::max(0.0, earned));
    bucket.updated = now;
    if (bucket.tokens < 1.0) return false;
    bucket.tokens -= 1.0;
    return true;
}

std::string RandomHex(std::size_t bytes) {
    std::string raw(bytes, '\0');
    SodiumReady();
    ::randombytes_buf(raw.data(), raw.size());
    std::string hex(bytes * 2 + 1, '\0');
    ::sodium_bin2hex(hex.data(), hex.size(), reinterpret_cast<const unsigned char*>(raw.data()), raw.size());
    hex.pop_back();
    return hex;
}

bool SameSecret(const std::string& a, const std::string& b) {
    return a.size() == b.size() && ::sodium_memcmp(a.data(), b.data(), a.size()) == 0;
}

std::string Sessions::Digest(const std::string& token) {
    unsigned char digest[crypto_generichash_BYTES];
    SodiumReady();
    ::crypto_generichash(digest, sizeof digest, reinterpret_cast<const unsigned char*>(token.data()), token.size(),
                         nullptr, 0);
    return std::string(reinterpret_cast<const char*>(digest), sizeof digest);
}

const Sessions::Session& Sessions::Open(Steady now, std::string& token) {
    std::erase_if(sessions_, [now](const auto& entry) { return now - entry.second.lastUsed > kIdleLimit; });
    if (sessions_.size() >= kMaxSessions) {
        sessions_.erase(std::min_element(sessions_.begin(), sessions_.end(), [](const auto& a, const auto& b) {
            return a.second.lastUsed < b.second.lastUsed;
        }));
    }
    token = RandomHex(32);
    return sessions_[Digest(token)] = Session{RandomHex(32), now};
}

const Sessions::Session* Sessions::Find(const std::string& token, Steady now) {
    if (token.empty()) return nullptr;
    auto it = sessions_.find(Digest(token));
    if (it == sessions_.end()) return nullptr;
    if (now - it->second.lastUsed > kIdleLimit) {
        sessions_.erase(it);
        return nullptr;
    }
    it->second.lastUsed = now;
    return &it->second;
}

std::string UploadNameProblem(const std::string& name) {
    if (name.empty()) return "no file name";
    if (name.size() > kMaxUploadName) return "the name is longer than " + std::to_string(kMaxUploadName) + " characters";
    if (name.find('/') != std::string::npos || name.find('\\') != std::string::npos)
        return "the name holds a folder; bulletins go straight into data/";
    if (name.front() == '.') return "the name starts with '.' (hidden, or a way out of data/)";
    for (const char c : name)
        if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' || c == '-' ||
              c == '_'))
            return "the name may hold only letters, digits, '.', '-' and '_'";
    std::string lowered = name;
    for (char& c : lowered) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
    if (lowered == "schedule.lst") return "the schedule is changed through the schedule editor";
    return "";
}

}  // namespace sked::web
