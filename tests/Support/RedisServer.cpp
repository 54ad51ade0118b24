#include "Support/RedisServer.h"

#include <algorithm>
#include <chrono>
#include <csignal>
#include <thread>

#include <fcntl.h>
#include <netinet/in.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <hiredis.h>

namespace ZandelleEngine { namespace Testing {

namespace {

/* A listening loopback socket on a port the kernel picked; its port */
int listenOnFreePort(int& port) {
    const int s = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof(address);
    if(s < 0 || ::bind(s, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 || ::listen(s, 16) != 0 ||
       ::getsockname(s, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        if(s >= 0) ::close(s);
        return -1;
    }
    port = ntohs(address.sin_port);
    return s;
}

}

RedisServer::RedisServer(std::string password): _password{std::move(password)} {
    /* The port is free once its socket is closed; the server binds it next */
    const int probe = listenOnFreePort(_port);
    if(probe < 0) {
        _error = "no free loopback port";
        return;
    }
    ::close(probe);

    const std::string port = std::to_string(_port);
    std::vector<std::string> args{"redis-server", "--port", port, "--bind", "127.0.0.1", "--save", "", "--appendonly", "no",
        "--dir", _directory.path(), "--logfile", ""};
    if(!_password.empty()) args.insert(args.end(), {"--requirepass", _password});
    std::vector<char*> argv;
    for(std::string& a: args) argv.push_back(a.data());
    argv.push_back(nullptr);

    _pid = ::fork();
    if(_pid == 0) {
        /* The server ends with the test process, however that ends */
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        const int null = ::open("/dev/null", O_RDWR);
        ::dup2(null, 1);
        ::dup2(null, 2);
        ::execvp("redis-server", argv.data());
        ::_exit(127);
    }
    if(_pid < 0) {
        _error = "fork failed";
        return;
    }

    /* Up when it answers PING, within five seconds */
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds{5};
    while(std::chrono::steady_clock::now() < deadline) {
        int status = 0;
        if(::waitpid(_pid, &status, WNOHANG) == _pid) {
            _pid = -1;
            _error = "redis-server exited at start (status " + std::to_string(status) +
                "); scripts/install-deps.sh installs it";
            return;
        }
        redisContext* c = redisConnect("127.0.0.1", _port);
        if(c && !c->err) {
            _client = c;
            if(!_password.empty()) freeReplyObject(redisCommand(c, "AUTH %s", _password.c_str()));
            if(command({"PING"}) == std::optional<std::string>{"PONG"}) return;
            _client = nullptr;
        }
        if(c) redisFree(c);
        std::this_thread::sleep_for(std::chrono::milliseconds{20});
    }
    _error = "redis-server did not answer on port " + port;
    stop();
}

RedisServer::~RedisServer() { stop(); }

std::string RedisServer::url() const {
    return "redis://" + (_password.empty() ? std::string{} : ":" + _password + "@") + "127.0.0.1:" + std::to_string(_port);
}

void RedisServer::stop() {
    if(_client) redisFree(_client);
    _client = nullptr;
    if(_pid > 0) {
        ::kill(_pid, SIGKILL);
        ::waitpid(_pid, nullptr, 0);
    }
    _pid = -1;
}

std::optional<std::string> RedisServer::command(const std::vector<std::string>& argv) {
    if(!_client) return {};
    std::vector<const char*> pointers;
    std::vector<std::size_t> lengths;
    for(const std::string& a: argv) {
        pointers.push_back(a.data());
        lengths.push_back(a.size());
    }
    auto* reply = static_cast<redisReply*>(redisCommandArgv(_client, int(argv.size()), pointers.data(), lengths.data()));
    if(!reply) return {};
    std::optional<std::string> out;
    if(reply->type == REDIS_REPLY_INTEGER) out = std::to_string(reply->integer);
    else if(reply->str) out = std::string{reply->str, reply->len};
    freeReplyObject(reply);
    return out;
}

std::vector<std::string> RedisServer::keys(const std::string& pattern) {
    std::vector<std::string> out;
    if(!_client) return out;
    auto* reply = static_cast<redisReply*>(redisCommand(_client, "KEYS %b", pattern.data(), pattern.size()));
    if(reply && reply->type == REDIS_REPLY_ARRAY)
        for(std::size_t i = 0; i != reply->elements; ++i) out.emplace_back(reply->element[i]->str, reply->element[i]->len);
    if(reply) freeReplyObject(reply);
    std::sort(out.begin(), out.end());
    return out;
}

long long RedisServer::info(const std::string& field) {
    const std::string text = command({"INFO"}).value_or("");
    const std::size_t at = text.find("\r\n" + field + ":");
    return at == std::string::npos ? -1 : std::stoll(text.substr(at + field.size() + 3));
}

SilentServer::SilentServer() { _socket = listenOnFreePort(_port); }

SilentServer::~SilentServer() { if(_socket >= 0) ::close(_socket); }

}}
