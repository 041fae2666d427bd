#include "CliApp.h"

#include "CheckMaskCommand.h"
#include "DrivesCommand.h"
#include "TreeCommand.h"

std::vector<std::unique_ptr<CliCommand>> AllCommands()
{
    std::vector<std::unique_ptr<CliCommand>> c;
    c.push_back(std::make_unique<TreeCommand>());
    c.push_back(std::make_unique<CheckMaskCommand>());
    c.push_back(std::make_unique<DrivesCommand>());
    return c;
}
