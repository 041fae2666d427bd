#pragma once

#include "CliCommand.h"

#include <vector>

// quillory-cli [--data DIR] COMMAND [ARGS]
class CliApp
{
public:
    CliApp();
    ~CliApp();
    int run(const QStringList &arguments, const CliIo &io); // arguments without the program name
    const std::vector<std::unique_ptr<CliCommand>> &commands() const { return m_commands; }
    // Set when the process ends as soon as run() returns (the program, not a test running
    // commands in process): a tree loaded for reading is then left for the system to take back.
    void setProcessEndsAfterRun(bool ends) { m_processEndsAfterRun = ends; }

private:
    void printUsage(const CliIo &io, QIODevice *to) const;
    std::vector<std::unique_ptr<CliCommand>> m_commands;
    bool m_processEndsAfterRun = false;
};

// The list of commands; one line per command in CommandRegistry.cpp.
std::vector<std::unique_ptr<CliCommand>> AllCommands();
