#pragma once
// A redis-server of the caller's own: started on a free loopback port with
// persistence off, stopped (and waited for) by stop() or the destructor, so
// that nothing is left running. A client connection inspects and changes
// what the server holds.

#include <optional>
#include <string>
#include <vector>

#include <sys/types.h>

#include "Support/TempDirectory.h"

struct redisContext;

namespace ZandelleEngine { namespace Testing {

class RedisServer {
    public:
        /** Starts the server, with @p password required when not empty;
            error() says why when it did not come up */
        explicit RedisServer(std::string password = {});
        ~RedisServer();
        RedisServer(const RedisServer&) = delete;
        RedisServer& operator=(const RedisServer&) = delete;

        /** Empty when the server answers */
        const std::string& error() const { return _error; }
        int port() const { return _port; }
        /** redis://[:PASSWORD@]127.0.0.1:PORT with the server's password */
        std::string url() const;

        /** Ends the server and waits for it */
        void stop();

        /** Runs one command; the reply as text (a status, string or error
            reply, or an integer in decimal), empty for nil or when the
            server is gone */
        std::optional<std::string> command(const std::vector<std::string>& argv);
        /** Keys matching @p pattern, sorted */
        std::vector<std::string> keys(const std::string& pattern = "*");
        /** A field of INFO, "used_memory" for example; -1 when missing */
        long long info(const std::string& field);

    private:
        TempDirectory _directory;
        std::string _password, _error;
        int _port = 0;
        pid_t _pid = -1;
        redisContext* _client = nullptr;
};

/** A loopback port that accepts connections and never answers; closed by
    the destructor */
class SilentServer {
    public:
        SilentServer();
        ~SilentServer();
        SilentServer(const SilentServer&) = delete;
        SilentServer& operator=(const SilentServer&) = delete;
        int port() const { return _port; }
    private:
        int _socket = -1, _port = 0;
};

}}
