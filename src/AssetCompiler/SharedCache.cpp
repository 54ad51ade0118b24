#include "AssetCompiler/SharedCache.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <sys/time.h>

#include <hiredis.h>

#include "Base/Format.h"
#include "Base/Log.h"
#include "Engine/JobSystem.h"

namespace ZandelleEngine {

namespace {

/* A decimal number in [min, max], the whole text */
std::optional<int> parseNumber(std::string_view text, int min, int max) {
    int value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if(text.empty() || error != std::errc{} || end != text.data() + text.size() || value < min || value > max) return {};
    return value;
}

/* %XX escapes decoded; empty on a broken escape */
std::optional<std::string> percentDecoded(std::string_view text) {
    std::string out;
    for(std::size_t i = 0; i < text.size(); ++i) {
        if(text[i] != '%') {
            out += text[i];
            continue;
        }
        int value = 0;
        if(i + 2 >= text.size() || std::from_chars(text.data() + i + 1, text.data() + i + 3, value, 16).ptr != text.data() + i + 3)
            return {};
        out += char(value);
        i += 2;
    }
    return out;
}

timeval toTimeval(std::chrono::milliseconds ms) {
    return timeval{time_t(ms.count()/1000), suseconds_t((ms.count()%1000)*1000)};
}

}

Result<SharedCacheUrl> SharedCacheUrl::parse(std::string_view text) {
    constexpr std::string_view Scheme = "redis://";
    if(text.substr(0, Scheme.size()) != Scheme) return resultError("the URL does not start with redis://");
    std::string_view rest = text.substr(Scheme.size());
    SharedCacheUrl url;

    if(const std::size_t query = rest.find('?'); query != std::string_view::npos) {
        if(rest.substr(query + 1) != "read-only") return resultError("the only option after ? is read-only");
        url.readOnly = true;
        rest = rest.substr(0, query);
    }
    /* The password may hold any character, an @ included: the host starts
       after the last one */
    if(const std::size_t at = rest.rfind('@'); at != std::string_view::npos) {
        const std::string_view credentials = rest.substr(0, at);
        const std::size_t colon = credentials.find(':');
        if(colon == std::string_view::npos) return resultError("the part before @ is not [USER]:PASSWORD");
        const std::optional<std::string> user = percentDecoded(credentials.substr(0, colon));
        const std::optional<std::string> password = percentDecoded(credentials.substr(colon + 1));
        if(!user || !password) return resultError("the password or user holds a broken %-escape");
        url.user = *user;
        url.password = *password;
        rest = rest.substr(at + 1);
    }
    if(const std::size_t slash = rest.find('/'); slash != std::string_view::npos) {
        const std::optional<int> database = parseNumber(rest.substr(slash + 1), 0, 1 << 20);
        if(!database) return resultError("the database after / is not a number");
        url.database = *database;
        rest = rest.substr(0, slash);
    }
    /* [IPv6]:PORT or HOST:PORT */
    std::string_view port;
    if(!rest.empty() && rest.front() == '[') {
        const std::size_t close = rest.find(']');
        if(close == std::string_view::npos) return resultError("the [ of the host is not closed");
        url.host = rest.substr(1, close - 1);
        const std::string_view after = rest.substr(close + 1);
        if(!after.empty() && after.front() != ':') return resultError("text after the ] of the host");
        if(!after.empty()) port = after.substr(1);
        if(after == ":") return resultError("the port is empty");
    } else {
        const std::size_t colon = rest.find(':');
        url.host = rest.substr(0, colon);
        if(colon != std::string_view::npos) {
            port = rest.substr(colon + 1);
            if(port.empty()) return resultError("the port is empty");
        }
    }
    if(url.host.empty()) return resultError("the host is empty");
    if(!port.empty()) {
        const std::optional<int> number = parseNumber(port, 1, 65535);
        if(!number) return resultError("the port is not a number from 1 to 65535");
        url.port = *number;
    }
    return url;
}

std::string SharedCacheUrl::display() const {
    if(host.find(':') != std::string::npos) return format("redis://[{}]:{}/{}", host, port, database);
    return format("redis://{}:{}/{}", host, port, database);
}

struct SharedCache::Connection {
    redisContext* context = nullptr;
    ~Connection() { if(context) redisFree(context); }
};

SharedCache::SharedCache(SharedCacheUrl url, int workerCount, Timeouts timeouts): _url{std::move(url)}, _timeouts{timeouts} {
    _connections.resize(std::size_t(std::max(workerCount, 0)) + 1);
}

SharedCache::~SharedCache() = default;

std::string SharedCache::key(std::string_view kind, std::string_view name) {
    return format("zandelle:v1:{}:{}", kind, name);
}

SharedCache::Connection* SharedCache::connection(std::unique_lock<std::mutex>& lock) {
    if(_off) return nullptr;
    const int worker = JobSystem::workerId();
    std::size_t index = _connections.size() - 1;
    if(worker >= 0 && std::size_t(worker) < index) index = std::size_t(worker);
    else lock = std::unique_lock<std::mutex>{_otherThreads};

    std::unique_ptr<Connection>& c = _connections[index];
    if(c) return c.get();
    c = std::make_unique<Connection>();
    c->context = redisConnectWithTimeout(_url.host.c_str(), _url.port, toTimeval(_timeouts.connect));
    if(!c->context || c->context->err) {
        fail(*c, c->context ? c->context->errstr : "out of memory");
        c.reset();
        return nullptr;
    }
    redisSetTimeout(c->context, toTimeval(_timeouts.command));

    /* Log in and pick the database, each a command that must say OK */
    std::vector<std::vector<std::string>> commands;
    if(!_url.password.empty() || !_url.user.empty()) {
        if(_url.user.empty()) commands.push_back({"AUTH", _url.password});
        else commands.push_back({"AUTH", _url.user, _url.password});
    }
    if(_url.database != 0) commands.push_back({"SELECT", std::to_string(_url.database)});
    for(const std::vector<std::string>& command: commands) {
        std::vector<const char*> argv;
        std::vector<std::size_t> lengths;
        for(const std::string& a: command) {
            argv.push_back(a.data());
            lengths.push_back(a.size());
        }
        auto* reply = static_cast<redisReply*>(redisCommandArgv(c->context, int(argv.size()), argv.data(), lengths.data()));
        const bool ok = reply && reply->type == REDIS_REPLY_STATUS;
        const std::string reason = !reply ? std::string{c->context->errstr} :
            reply->type == REDIS_REPLY_ERROR ? std::string{reply->str, reply->len} : std::string{"unexpected reply to "} + command[0];
        if(reply) freeReplyObject(reply);
        if(!ok) {
            fail(*c, reason);
            c.reset();
            return nullptr;
        }
    }
    return c.get();
}

void SharedCache::fail(Connection& c, std::string_view reason) {
    const int error = errno;
    ++errors;
    std::string text{reason};
    /* A timed-out read shows as a would-block error */
    if(c.context && c.context->err == REDIS_ERR_IO && (error == EAGAIN || error == EWOULDBLOCK))
        text = format("no answer within {} ms", _timeouts.command.count());
    /* Servers do not echo passwords, but nothing printed may hold one */
    if(!_url.password.empty()) for(std::size_t p; (p = text.find(_url.password)) != std::string::npos; )
        text.replace(p, _url.password.size(), "***");
    if(!_off.exchange(true))
        Warning{} << "Shared cache" << _url.display() << "unavailable (" << Debug::nospace << text << Debug::nospace
            << "), using the local cache only";
}

std::optional<std::vector<SharedCacheReply>> SharedCache::get(std::span<const std::string> keys) {
    if(keys.empty() || _off) return {};
    const auto start = std::chrono::steady_clock::now();
    std::unique_lock<std::mutex> lock;
    Connection* c = connection(lock);
    std::optional<std::vector<SharedCacheReply>> replies;
    if(c) {
        /* One more byte than the cap tells an entry above it */
        const std::string last = std::to_string(MaxEntrySize);
        for(const std::string& key: keys) {
            const char* argv[]{"GETRANGE", key.data(), "0", last.data()};
            const std::size_t lengths[]{8, key.size(), 1, last.size()};
            redisAppendCommandArgv(c->context, 4, argv, lengths);
        }
        replies.emplace(keys.size());
        for(SharedCacheReply& out: *replies) {
            void* raw = nullptr;
            if(redisGetReply(c->context, &raw) != REDIS_OK) {
                fail(*c, c->context->errstr);
                replies.reset();
                break;
            }
            auto* reply = static_cast<redisReply*>(raw);
            const std::string_view text{reply->str ? reply->str : "", reply->str ? reply->len : 0};
            if(reply->type == REDIS_REPLY_STRING) {
                if(text.size() > MaxEntrySize) out.kind = SharedCacheReply::Unusable;
                else if(!text.empty()) {
                    out.kind = SharedCacheReply::Found;
                    out.bytes.assign(text.begin(), text.end());
                }
            } else if(reply->type == REDIS_REPLY_ERROR && text.substr(0, 9) == "WRONGTYPE") {
                out.kind = SharedCacheReply::Unusable;
            } else {
                const std::string reason = reply->type == REDIS_REPLY_ERROR ? std::string{text} : "unexpected reply to GETRANGE";
                freeReplyObject(reply);
                fail(*c, reason);
                replies.reset();
                break;
            }
            freeReplyObject(reply);
        }
    }
    nanoseconds += std::uint64_t(std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now() - start).count());
    return replies;
}

bool SharedCache::put(const std::string& key, std::span<const char> bytes, bool replace) {
    if(_url.readOnly || _off) return false;
    const auto start = std::chrono::steady_clock::now();
    std::unique_lock<std::mutex> lock;
    Connection* c = connection(lock);
    bool written = false;
    if(c) {
        const char* argv[]{"SET", key.data(), bytes.data(), "NX"};
        const std::size_t lengths[]{3, key.size(), bytes.size(), 2};
        auto* reply = static_cast<redisReply*>(redisCommandArgv(c->context, replace ? 3 : 4, argv, lengths));
        if(!reply) fail(*c, c->context->errstr);
        else if(reply->type == REDIS_REPLY_STATUS) written = true;
        else if(reply->type != REDIS_REPLY_NIL)
            fail(*c, reply->type == REDIS_REPLY_ERROR ? std::string{reply->str, reply->len} : "unexpected reply to SET");
        if(reply) freeReplyObject(reply);
    }
    nanoseconds += std::uint64_t(std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now() - start).count());
    return written;
}

}
