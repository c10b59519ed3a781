#include "shader/CompilerProcess.h"

#include "shader/GlslangFrontEnd.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <new>

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

namespace swd3d9 {
namespace shader {

const char* const CHILD_CRASH_ENTRY_POINT = "<crash>";
const char* const CHILD_HANG_ENTRY_POINT = "<hang>";
const char* const CHILD_GARBLE_ENTRY_POINT = "<garble>";
const char* const CHILD_EXIT_ENTRY_POINT = "<exit>";

namespace {

using Clock = std::chrono::steady_clock;

// One reply per request, in request order: this header, then the messages,
// then the SPIR-V words.
struct ReplyHeader {
    uint32_t magic;
    uint32_t request;
    uint32_t compiled;
    uint32_t messageBytes;
    uint32_t spirvWords;
};
constexpr uint32_t REPLY_MAGIC = 0x52535846; // "FXSR"
// Far beyond any real shader; larger sizes mean a garbled reply.
constexpr uint32_t MAX_MESSAGE_BYTES = 1u << 24;
constexpr uint32_t MAX_SPIRV_WORDS = 1u << 24;

// The child's descriptor for its replies; every other one it inherited is
// closed.
constexpr int REPLY_DESCRIPTOR = 3;

bool sendAll(int socket, const void* data, size_t size)
{
    const char* bytes = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t sent = send(socket, bytes, size, MSG_NOSIGNAL);
        if (sent < 0 && errno == EINTR)
            continue;
        if (sent <= 0)
            return false;
        bytes += sent;
        size -= static_cast<size_t>(sent);
    }
    return true;
}

bool sendReply(int socket, uint32_t request, const ChildCompileResult& result)
{
    const ReplyHeader header{REPLY_MAGIC, request, result.compiled ? 1u : 0u,
                             static_cast<uint32_t>(result.messages.size()),
                             static_cast<uint32_t>(result.spirv.size())};
    return sendAll(socket, &header, sizeof header) && sendAll(socket, result.messages.data(), result.messages.size()) &&
           sendAll(socket, result.spirv.data(), result.spirv.size() * sizeof(uint32_t));
}

// The child keeps only its reply socket: standard input and output go to
// /dev/null (nothing may reach the host's terminal or logs) and the host's
// files, sockets and pipes are closed.
void isolateDescriptors(int socket)
{
    const int reply = fcntl(socket, F_DUPFD, REPLY_DESCRIPTOR + 1);
    const int null = open("/dev/null", O_RDWR);
    for (int standard = 0; standard < 3; ++standard)
        if (null >= 0 && null != standard)
            dup2(null, standard);
    dup2(reply >= 0 ? reply : socket, REPLY_DESCRIPTOR);
    if (close_range(REPLY_DESCRIPTOR + 1, ~0u, 0) != 0) {
        const long limit = sysconf(_SC_OPEN_MAX);
        for (int fd = REPLY_DESCRIPTOR + 1; fd < (limit > 0 && limit < 65536 ? limit : 65536); ++fd)
            close(fd);
    }
}

// The child: compiles requests first.. and sends their replies, then exits
// without running the host's exit handlers.
[[noreturn]] void runChild(int socket, const PreparedHlsl& prepared, const std::string& fileName,
                           const std::vector<ShaderRequest>& requests, size_t first)
{
    // A crash must end the child with its signal whatever handlers the
    // host installed, and a write to a parent that gave up must fail
    // quietly.
    for (int crash : {SIGSEGV, SIGBUS, SIGILL, SIGFPE, SIGABRT})
        signal(crash, SIG_DFL);
    signal(SIGPIPE, SIG_IGN);
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    isolateDescriptors(socket);

    try {
        initializeFrontEnd();
    } catch (...) {
        _exit(2);
    }
    for (size_t i = first; i < requests.size(); ++i) {
        const std::string& entryPoint = requests[i].entryPoint;
        if (entryPoint == CHILD_CRASH_ENTRY_POINT)
            raise(SIGSEGV);
        if (entryPoint == CHILD_HANG_ENTRY_POINT)
            for (;;)
                pause();
        if (entryPoint == CHILD_EXIT_ENTRY_POINT)
            _exit(3);
        if (entryPoint == CHILD_GARBLE_ENTRY_POINT) {
            const uint32_t garbage[8] = {0xdeadbeef, 0xdeadbeef, 0xdeadbeef, 0xdeadbeef,
                                         0xdeadbeef, 0xdeadbeef, 0xdeadbeef, 0xdeadbeef};
            sendAll(REPLY_DESCRIPTOR, garbage, sizeof garbage);
            _exit(0);
        }
        ChildCompileResult result;
        try {
            FrontEndOutput output = runFrontEnd(prepared, fileName, entryPoint, requests[i].stage);
            result.compiled = output.compiled;
            result.spirv.swap(output.spirv);
            result.messages.swap(output.messages);
        } catch (const std::bad_alloc&) {
            result = ChildCompileResult();
            result.messages = fileName + ": error: " + entryPoint + ": out of memory\n";
        } catch (...) {
            result = ChildCompileResult();
            result.messages = fileName + ": error: internal compiler error in " + entryPoint + "\n";
        }
        if (!sendReply(REPLY_DESCRIPTOR, static_cast<uint32_t>(i), result))
            _exit(1);
    }
    _exit(0);
}

enum class ReadOutcome { Done, Closed, TimedOut, Failed };

ReadOutcome readFully(int socket, void* data, size_t size, Clock::time_point deadline)
{
    char* bytes = static_cast<char*>(data);
    while (size > 0) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0)
            return ReadOutcome::TimedOut;
        pollfd ready{socket, POLLIN, 0};
        const int polled = poll(&ready, 1, static_cast<int>(left));
        if (polled < 0 && errno == EINTR)
            continue;
        if (polled < 0)
            return ReadOutcome::Failed;
        if (polled == 0)
            continue; // the deadline check above ends the wait
        const ssize_t received = recv(socket, bytes, size, 0);
        if (received < 0 && (errno == EINTR || errno == EAGAIN))
            continue;
        if (received < 0)
            return ReadOutcome::Failed;
        if (received == 0)
            return ReadOutcome::Closed;
        bytes += received;
        size -= static_cast<size_t>(received);
    }
    return ReadOutcome::Done;
}

// Waits for the child; its wait status, or -1 when it was reaped elsewhere
// (a host that ignores SIGCHLD).
int reap(pid_t child)
{
    int status = 0;
    for (;;) {
        const pid_t reaped = waitpid(child, &status, 0);
        if (reaped == child)
            return status;
        if (reaped < 0 && errno != EINTR)
            return -1;
    }
}

std::string describeEnd(int status)
{
    if (status != -1 && WIFSIGNALED(status))
        return "the compiler crashed (signal " + std::to_string(WTERMSIG(status)) + ")";
    if (status != -1 && WIFEXITED(status))
        return "the compiler exited (status " + std::to_string(WEXITSTATUS(status)) + ") without a result";
    return "the compiler ended without a result";
}

std::string internalError(const std::string& fileName, const std::string& entryPoint, const std::string& what)
{
    return fileName + ": error: internal compiler error in " + entryPoint + ": " + what + "\n";
}

// One child for requests first..: fills their results and returns the
// index to go on from (past a request whose compile failed abnormally).
size_t runOneChild(const PreparedHlsl& prepared, const std::string& fileName,
                   const std::vector<ShaderRequest>& requests, size_t first, int timeLimitMilliseconds,
                   std::vector<ChildCompileResult>& results)
{
    const size_t count = requests.size();
    int sockets[2];
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, sockets) != 0) {
        for (size_t i = first; i < count; ++i)
            results[i].messages = internalError(fileName, requests[i].entryPoint, "cannot start the compiler");
        return count;
    }
    const pid_t child = fork();
    if (child < 0) {
        close(sockets[0]);
        close(sockets[1]);
        for (size_t i = first; i < count; ++i)
            results[i].messages = internalError(fileName, requests[i].entryPoint, "cannot start the compiler");
        return count;
    }
    if (child == 0) {
        close(sockets[0]);
        runChild(sockets[1], prepared, fileName, requests, first);
    }
    close(sockets[1]);

    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeLimitMilliseconds);
    ReadOutcome outcome = ReadOutcome::Done;
    bool garbled = false;
    size_t request = first;
    for (; request < count; ++request) {
        ReplyHeader header{};
        outcome = readFully(sockets[0], &header, sizeof header, deadline);
        if (outcome != ReadOutcome::Done)
            break;
        if (header.magic != REPLY_MAGIC || header.request != request || header.compiled > 1 ||
            header.messageBytes > MAX_MESSAGE_BYTES || header.spirvWords > MAX_SPIRV_WORDS ||
            (header.compiled == 1 && header.spirvWords == 0)) {
            garbled = true;
            break;
        }
        ChildCompileResult& result = results[request];
        result.messages.resize(header.messageBytes);
        result.spirv.resize(header.spirvWords);
        outcome = readFully(sockets[0], &result.messages[0], result.messages.size(), deadline);
        if (outcome == ReadOutcome::Done)
            outcome = readFully(sockets[0], result.spirv.data(), result.spirv.size() * sizeof(uint32_t), deadline);
        if (outcome != ReadOutcome::Done) {
            result = ChildCompileResult();
            break;
        }
        result.compiled = header.compiled == 1;
    }
    close(sockets[0]);
    // A child that closed its socket has ended or is about to; any other
    // one is stopped (it may have hung, or sent all its replies and be on
    // its way out).
    if (outcome != ReadOutcome::Closed)
        kill(child, SIGKILL);
    const int status = reap(child);
    if (request == count)
        return count;

    std::string what;
    if (garbled)
        what = "the compiler sent a malformed reply";
    else if (outcome == ReadOutcome::TimedOut)
        what = "the compiler took longer than " + std::to_string(timeLimitMilliseconds) + " ms and was stopped";
    else if (outcome == ReadOutcome::Closed)
        what = describeEnd(status);
    else
        what = "the compiler's reply could not be read";
    results[request] = ChildCompileResult();
    results[request].messages = internalError(fileName, requests[request].entryPoint, what);
    return request + 1;
}

} // namespace

void compileInChildProcess(const PreparedHlsl& prepared, const std::string& fileName,
                           const std::vector<ShaderRequest>& requests, int timeLimitMilliseconds,
                           std::vector<ChildCompileResult>& results)
{
    results.assign(requests.size(), ChildCompileResult());
    // Without the tables children build their own, which only costs time.
    warmUpFrontEnd();
    size_t next = 0;
    while (next < requests.size())
        next = runOneChild(prepared, fileName, requests, next, timeLimitMilliseconds, results);
}

} // namespace shader
} // namespace swd3d9
