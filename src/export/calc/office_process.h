#pragma once

#include <sys/types.h>

#include <memory>
#include <string>
#include <vector>

// An office program started by the bridge: in a session of its own, with
// no terminal, none of our descriptors, and its output thrown away, so it
// outlives us as a separate program would. It is reaped the moment it ends,
// so an office the user quits never lingers as our zombie.
class OfficeProcess {
public:
    enum class State { Running, ExitedOk, Failed };

    // Starts `program` with `args`; false (and `error` set) when it cannot.
    bool Start(const std::string& program, const std::vector<std::string>& args,
               std::string& error);
    // Looks at the process without waiting.
    State Poll();
    // Ends the process and everything it started (its process group), and
    // waits a little for its end. Once it has been reaped it does nothing:
    // the number may be another program's by then.
    void Kill();
    pid_t Pid() const { return m_pid; }

    struct Reaped;

private:
    pid_t m_pid = 0;
    State m_state = State::Failed;
    std::shared_ptr<Reaped> m_reaped;
};

// The office program to start: `configured` if set, else "soffice" on PATH,
// else the usual install place. Empty when none is there.
std::string FindOfficeProgram(const std::string& configured);
