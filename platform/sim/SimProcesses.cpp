#include "platform/sim/SimProcesses.h"

#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fstream>

#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

// "#!/bin/sh -e" gives {"/bin/sh", "-e"}: the kernel's rule of one optional argument.
std::vector<std::string> interpreterOf(const std::string& hostFile) {
    std::ifstream in(hostFile, std::ios::binary);
    std::string first;
    std::getline(in, first);
    if (first.size() < 2 || first.compare(0, 2, "#!") != 0) {
        return {};
    }
    std::size_t begin = first.find_first_not_of(" \t", 2);
    if (begin == std::string::npos) {
        return {};
    }
    if (!first.empty() && first.back() == '\r') {
        first.pop_back();
    }
    std::size_t end = first.find_first_of(" \t", begin);
    std::vector<std::string> command{first.substr(begin, end - begin)};
    if (end != std::string::npos) {
        std::size_t argument = first.find_first_not_of(" \t", end);
        if (argument != std::string::npos) {
            std::size_t last = first.find_last_not_of(" \t");
            command.push_back(first.substr(argument, last - argument + 1));
        }
    }
    return command;
}

bool isHostProgram(const std::string& hostFile) {
    char magic[4] = {};
    std::ifstream(hostFile, std::ios::binary).read(magic, sizeof magic);
    return std::string(magic, sizeof magic) ==
           "\x7f"
           "ELF";
}

std::string absolute(const std::string& path) {
    char resolved[PATH_MAX];
    return ::realpath(path.c_str(), resolved) ? resolved : path;
}

// The parent's environment with ZIL_MACHINE pointing at this machine.
std::vector<std::string> childEnvironment(const std::string& root) {
    std::vector<std::string> variables;
    for (char** entry = environ; entry && *entry; ++entry) {
        if (std::strncmp(*entry, "ZIL_MACHINE=", 12) != 0) {
            variables.emplace_back(*entry);
        }
    }
    variables.push_back("ZIL_MACHINE=" + absolute(root));
    return variables;
}

std::vector<char*> pointers(std::vector<std::string>& strings) {
    std::vector<char*> result;
    for (std::string& s : strings) {
        result.push_back(s.data());
    }
    result.push_back(nullptr);
    return result;
}

}  // namespace

std::vector<std::string> SimProcesses::splitArguments(std::string_view parameters) {
    std::vector<std::string> arguments;
    std::string current;
    bool inQuotes = false;
    bool any = false;
    for (char c : parameters) {
        if (c == '"') {
            inQuotes = !inQuotes;
            any = true;
        } else if ((c == ' ' || c == '\t') && !inQuotes) {
            if (any) {
                arguments.push_back(current);
            }
            current.clear();
            any = false;
        } else {
            current += c;
            any = true;
        }
    }
    if (any) {
        arguments.push_back(current);
    }
    return arguments;
}

// A host process ends with a status of 0 to 255: of the codes above that which Windows programs
// end with, setup reads only the Windows Installer's two restart codes, so those come back whole.
std::uint32_t SimProcesses::WindowsExitCode(int status) {
    for (std::uint32_t code : {3010u, 1641u}) {
        if (static_cast<std::uint32_t>(status) == code % 256) {
            return code;
        }
    }
    return static_cast<std::uint32_t>(status);
}

Win32Error SimProcesses::runForExitCode(const String& file, const String& parameters,
                                        std::uint32_t& exitCode) {
    std::string host;
    Win32Error error = m_machine.isFile(file) ? m_machine.hostPath(file, host) : WIN_FILE_NOT_FOUND;
    int status = 0;
    if (error == WIN_OK) {
        error = launch(host, parameters, status);
    }
    String line = file + parameters + " -> " + ToString(error);
    if (error == WIN_OK) {
        line += ", exit " + ToString(status);
    }
    m_machine.journal("program", line);
    exitCode = WindowsExitCode(status);
    return error;
}

Win32Error SimProcesses::launch(const std::string& hostFile, std::string_view parameters,
                                int& status) {
    std::vector<std::string> command = interpreterOf(hostFile);
    if (command.empty() && ::access(hostFile.c_str(), X_OK) != 0) {
        if (!isHostProgram(hostFile) || ::chmod(hostFile.c_str(), 0755) != 0) {
            return WIN_BAD_EXE_FORMAT;
        }
    }
    command.push_back(hostFile);
    for (std::string& argument : splitArguments(parameters)) {
        command.push_back(std::move(argument));
    }
    std::vector<std::string> environment = childEnvironment(m_machine.root());
    std::vector<char*> argv = pointers(command);
    std::vector<char*> envp = pointers(environment);
    pid_t child = 0;
    if (::posix_spawn(&child, argv[0], nullptr, nullptr, argv.data(), envp.data()) != 0) {
        return WIN_FILE_NOT_FOUND;
    }
    int raw = 0;
    while (::waitpid(child, &raw, 0) < 0) {
        if (errno != EINTR) {
            return WIN_OK;
        }
    }
    status = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
    return WIN_OK;
}

int SimProcesses::runCommand(const String& commandLine) {
    std::vector<std::string> words = splitArguments(commandLine);
    int result = 1;
    for (std::size_t i = 1; i < words.size(); ++i) {
        const std::string& word = words[i];
        if (word.size() > 2 && std::isalpha(static_cast<unsigned char>(word[0])) &&
            word[1] == ':') {
            result = m_machine.isFile(word) ? 0 : 1;
            break;
        }
    }
    m_machine.journal("system", commandLine + " -> " + ToString(result));
    return result;
}
