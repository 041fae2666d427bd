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

private:
    void printUsage(const CliIo &io, QIODevice *to) const;
    std::vector<std::unique_ptr<CliCommand>> m_commands;
};

// The list of commands; one line per command in CommandRegistry.cpp.
std::vector<std::unique_ptr<CliCommand>> AllCommands();
