#pragma once

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "line_link.h"
#include "sim_session.h"

// A bare pseudo-terminal as serial port `number`; the test holds the other
// end (`master`, not blocking) and the line end that keeps it open.
struct PtyPort {
    explicit PtyPort(int number) {
        std::string error;
        master = torque_sim::OpenPseudoTerminal(path, line, error);
        if (master >= 0) fcntl(master, F_SETFL, O_NONBLOCK);
        setenv(("KELVARIN_COM" + std::to_string(number)).c_str(), path.c_str(), 1);
    }
    ~PtyPort() {
        for (int fd : {master, line})
            if (fd >= 0) close(fd);
    }
    int master = -1, line = -1;
    std::string path;
};

// The simulated torque tool on a pseudo-terminal, served from a thread.
class PtyTool {
public:
    explicit PtyTool(torque_sim::Config config) : m_session(std::move(config)) {
        std::string error;
        m_master = torque_sim::OpenPseudoTerminal(m_path, m_keepAlive, error);
        m_session.trace = [this](torque_sim::Direction direction, const torque_sim::Bytes& bytes) {
            std::lock_guard lock(m_mutex);
            if (direction == torque_sim::Direction::FromHost) m_fromHost.push_back(bytes);
        };
        m_options.stop = &m_stop;
        if (m_master < 0) return;
        m_thread = std::thread([this] {
            // A tool that drops the line closes it.
            if (torque_sim::ServeLine(m_master, m_session, m_options) ==
                torque_sim::LinkEnd::HungUp)
                CloseLine();
        });
    }
    ~PtyTool() { Stop(); }

    const std::string& Path() const { return m_path; }
    // Frames the tool recognised from the host, in order.
    std::vector<torque_sim::Bytes> FromHost() const {
        std::lock_guard lock(m_mutex);
        return m_fromHost;
    }
    // Ends the tool; its statistics are safe to read afterwards.
    const torque_sim::Stats& Stop() {
        m_stop = true;
        if (m_thread.joinable()) m_thread.join();
        CloseLine();
        return m_session.GetStats();
    }

private:
    void CloseLine() {
        for (int* fd : {&m_master, &m_keepAlive})
            if (*fd >= 0) close(std::exchange(*fd, -1));
    }

    torque_sim::Session m_session;
    torque_sim::LinkOptions m_options;
    std::atomic<bool> m_stop{false};
    std::string m_path;
    int m_master = -1, m_keepAlive = -1;
    mutable std::mutex m_mutex;
    std::vector<torque_sim::Bytes> m_fromHost;
    std::thread m_thread;
};
