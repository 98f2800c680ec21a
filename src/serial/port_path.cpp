#include "serial/port_path.h"

#include <dirent.h>
#include <strings.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "winapi/program_title.h"

namespace {

// Numbers of the devices named prefix<number> in the directory, ascending.
std::vector<long> Numbered(const std::string& directory, const char* prefix) {
    std::vector<long> numbers;
    DIR* dir = opendir(directory.c_str());
    if (dir == nullptr) return numbers;
    const std::size_t length = std::strlen(prefix);
    while (const dirent* entry = readdir(dir)) {
        if (std::strncmp(entry->d_name, prefix, length) != 0) continue;
        const char* digits = entry->d_name + length;
        char* end = nullptr;
        const long number = std::strtol(digits, &end, 10);
        if (end != digits && *end == '\0' && number >= 0) numbers.push_back(number);
    }
    closedir(dir);
    std::sort(numbers.begin(), numbers.end());
    return numbers;
}

std::string Environment(const std::string& name) {
    const char* value = std::getenv(name.c_str());
    return value != nullptr ? value : "";
}

std::string Trim(const std::string& text) {
    const auto first = text.find_first_not_of(" \t\r\n");
    if (first == std::string::npos) return "";
    return text.substr(first, text.find_last_not_of(" \t\r\n") - first + 1);
}

// The number in COM<digits> (any case, as Windows takes it; capped at 100),
// or -1 for any other key.
int KeyNumber(const std::string& key) {
    if (key.size() < 4 || strncasecmp(key.c_str(), "COM", 3) != 0) return -1;
    int n = 0;
    for (char c : key.substr(3)) {
        if (c < '0' || c > '9') return -1;
        n = std::min(n * 10 + (c - '0'), 100);
    }
    return n;
}

// Why a line COM<n>=<device> is unusable, or nullptr.
const char* Fault(std::string::size_type equals, int n, const std::string& device) {
    if (equals == std::string::npos) return "no '=' (COM<n>=<device>)";
    if (n < 0) return "not COM<n> before '='";
    if (n < 1 || n > 12) return "port numbers are 1 to 12";
    if (device.empty()) return "no device after '='";
    return nullptr;
}

// Fills the numbers still free with the devices the file names. A file that
// does not exist names none; a '#' at the start or after a blank begins a
// comment.
void ReadSettings(const std::string& file, PortTable& table) {
    if (file.empty()) return;
    std::FILE* in = std::fopen(file.c_str(), "re");
    if (in == nullptr) {
        if (errno != ENOENT && errno != ENOTDIR)
            table.problems.push_back(file + ": " + std::strerror(errno) + "; file ignored");
        return;
    }
    int setOn[13] = {};  // the line that named each number
    char* buffer = nullptr;
    std::size_t size = 0;
    int line = 0;
    for (ssize_t got; (got = getline(&buffer, &size, in)) >= 0;) {
        std::string text(buffer, static_cast<std::size_t>(got));
        ++line;
        for (std::size_t i = text.find('#'); i != std::string::npos; i = text.find('#', i + 1))
            if (i == 0 || text[i - 1] == ' ' || text[i - 1] == '\t') {
                text.erase(i);
                break;
            }
        if ((text = Trim(text)).empty()) continue;
        const auto equals = text.find('=');
        const int n = equals == std::string::npos ? -1 : KeyNumber(Trim(text.substr(0, equals)));
        const std::string device = equals == std::string::npos ? "" : Trim(text.substr(equals + 1));
        const char* fault = Fault(equals, n, device);
        std::string why = fault != nullptr ? fault : "";
        if (fault == nullptr && setOn[n] != 0)
            why = "COM" + std::to_string(n) + " already on line " + std::to_string(setOn[n]);
        if (!why.empty()) {
            table.problems.push_back(file + ":" + std::to_string(line) + ": " + why +
                                     "; line ignored");
            continue;
        }
        setOn[n] = line;
        if (PortSource& port = table.ports[n - 1]; port.path.empty())
            port = {device, "", file, line, 0};
    }
    if (std::ferror(in))
        table.problems.push_back(file + ": " + std::strerror(errno) + "; rest of file ignored");
    std::free(buffer);
    std::fclose(in);
}

std::mutex g_reportLock;
std::set<std::string> g_reported;

}  // namespace

std::string UserPortsFile() {
    // Only an absolute XDG_CONFIG_HOME counts; a relative one is ignored.
    const std::string config = Environment("XDG_CONFIG_HOME"), home = Environment("HOME");
    if (config.starts_with('/')) return config + "/kelvarin/ports.conf";
    return home.empty() ? "" : home + "/.config/kelvarin/ports.conf";
}

std::vector<std::string> UsbAdapters(const std::string& deviceDirectory) {
    std::vector<std::string> adapters;
    for (const char* prefix : {"ttyUSB", "ttyACM"})
        for (long number : Numbered(deviceDirectory, prefix))
            adapters.push_back(deviceDirectory + "/" + prefix + std::to_string(number));
    return adapters;
}

PortTable ResolvePorts(const PortPlaces& places) {
    PortTable table;
    for (int n = 1; n <= 12; ++n) {
        const std::string variable = "KELVARIN_COM" + std::to_string(n);
        if (std::string path = Environment(variable); !path.empty())
            table.ports[n - 1] = {path, variable, "", 0, 0};
    }
    ReadSettings(places.userFile, table);
    ReadSettings(places.machineFile, table);

    // A number named by hand must not hide an adapter from the rest.
    const std::vector<std::string> adapters = UsbAdapters(places.devices);
    int used = 0;
    for (PortSource& port : table.ports)
        if (port.path.empty() && used < static_cast<int>(adapters.size())) {
            port.path = adapters[used++];
            port.adapter = used;
        }
    return table;
}

std::string PortDevicePath(int n, const PortPlaces& places) {
    if (n < 1 || n > 12) return "";
    PortTable table = ResolvePorts(places);
    ReportPortProblems(table.problems);
    return table.ports[n - 1].path;
}

void ReportPortProblems(const std::vector<std::string>& problems) {
    std::lock_guard lock(g_reportLock);
    for (const std::string& problem : problems) {
        if (g_reported.insert(problem).second)
            std::fprintf(stderr, "%s: %s\n", ProgramTitle().c_str(), problem.c_str());
    }
}
