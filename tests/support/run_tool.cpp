#include "run_tool.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <poll.h>
#include <stdexcept>
#include <sys/wait.h>
#include <unistd.h>

namespace {

void drain_into(int fd, std::string& sink, bool& open) {
    char chunk[65536];
    ssize_t got = ::read(fd, chunk, sizeof chunk);
    if (got > 0) {
        sink.append(chunk, static_cast<std::size_t>(got));
    } else if (got == 0 || errno != EINTR) {
        open = false;
    }
}

}  // namespace

ToolResult run_tool(const ToolRun& run) {
    int in_pipe[2], out_pipe[2], err_pipe[2];
    if (::pipe(in_pipe) != 0 || ::pipe(out_pipe) != 0 || ::pipe(err_pipe) != 0) {
        throw std::runtime_error("pipe failed");
    }
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(run.program.c_str()));
    for (const std::string& arg : run.args) {
        argv.push_back(const_cast<char*>(arg.c_str()));
    }
    argv.push_back(nullptr);

    pid_t child = ::fork();
    if (child == 0) {
        ::dup2(in_pipe[0], 0);
        if (run.stdout_path.empty()) {
            ::dup2(out_pipe[1], 1);
        } else {
            int fd = ::open(run.stdout_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            if (fd < 0) ::_exit(126);
            ::dup2(fd, 1);
        }
        ::dup2(run.merge_streams ? out_pipe[1] : err_pipe[1], 2);
        for (int fd : {in_pipe[0], in_pipe[1], out_pipe[0], out_pipe[1], err_pipe[0], err_pipe[1]}) {
            ::close(fd);
        }
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    ::close(in_pipe[0]);
    ::close(out_pipe[1]);
    ::close(err_pipe[1]);

    // Feed standard input and drain both outputs together, so that no pipe
    // fills up while the other is being waited on.
    ToolResult result;
    std::size_t fed = 0;
    bool in_open = true, out_open = true, err_open = true;
    if (run.input.empty()) {
        ::close(in_pipe[1]);
        in_open = false;
    }
    std::signal(SIGPIPE, SIG_IGN);
    while (out_open || err_open || in_open) {
        pollfd fds[3];
        int count = 0;
        int out_slot = -1, err_slot = -1, in_slot = -1;
        if (out_open) { out_slot = count; fds[count++] = {out_pipe[0], POLLIN, 0}; }
        if (err_open) { err_slot = count; fds[count++] = {err_pipe[0], POLLIN, 0}; }
        if (in_open) { in_slot = count; fds[count++] = {in_pipe[1], POLLOUT, 0}; }
        if (::poll(fds, static_cast<nfds_t>(count), -1) < 0) {
            if (errno == EINTR) continue;
            throw std::runtime_error("poll failed");
        }
        if (out_slot >= 0 && fds[out_slot].revents != 0) drain_into(out_pipe[0], result.out, out_open);
        if (err_slot >= 0 && fds[err_slot].revents != 0) drain_into(err_pipe[0], result.err, err_open);
        if (in_slot >= 0 && fds[in_slot].revents != 0) {
            ssize_t put = ::write(in_pipe[1], run.input.data() + fed, run.input.size() - fed);
            if (put > 0) fed += static_cast<std::size_t>(put);
            if (put < 0 || fed == run.input.size()) {
                ::close(in_pipe[1]);
                in_open = false;
            }
        }
    }
    ::close(out_pipe[0]);
    ::close(err_pipe[0]);
    int wait_status = 0;
    while (::waitpid(child, &wait_status, 0) < 0 && errno == EINTR) {
    }
    result.status = WIFEXITED(wait_status) ? WEXITSTATUS(wait_status) : 128 + WTERMSIG(wait_status);
    return result;
}

TempDir::TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "unrms-test-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) {
        throw std::runtime_error("mkdtemp failed");
    }
    root_ = pattern;
}

TempDir::~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(root_, ignored);
}

std::string TempDir::write(const std::string& name, const std::string& content) const {
    std::string full = path(name);
    std::ofstream file(full, std::ios::binary);
    file.write(content.data(), static_cast<std::streamsize>(content.size()));
    return full;
}

std::string TempDir::write(const std::string& name, const std::vector<unsigned char>& content) const {
    return write(name, std::string(content.begin(), content.end()));
}

ToolResult run_on_file(const std::vector<unsigned char>& file, const std::string& attributes,
                       std::vector<std::string> options) {
    TempDir dir;
    std::string path = dir.write("DATA.DAT", file);
    options.insert(options.end(), {"-a", "-", path});
    return run_unrms(options, attributes);
}
