#include "CliApp.h"

#include "AddDiscCommand.h"
#include "CatListsCommand.h"
#include "CheckMaskCommand.h"
#include "ConfigCommand.h"
#include "DrivesCommand.h"
#include "DuplicatesCommand.h"
#include "ExportCommand.h"
#include "ImportCommand.h"
#include "LsCommand.h"
#include "ReportCommand.h"
#include "SearchCommand.h"
#include "SingleCopiesCommand.h"
#include "TreeCommand.h"
#include "VerifyCommand.h"

std::vector<std::unique_ptr<CliCommand>> AllCommands()
{
    std::vector<std::unique_ptr<CliCommand>> c;
    c.push_back(std::make_unique<TreeCommand>());
    c.push_back(std::make_unique<CheckMaskCommand>());
    c.push_back(std::make_unique<ExportCommand>());
    c.push_back(std::make_unique<ImportCommand>());
    c.push_back(std::make_unique<CatListsCommand>());
    c.push_back(std::make_unique<AddDiscCommand>());
    c.push_back(std::make_unique<ConfigCommand>());
    c.push_back(std::make_unique<LsCommand>());
    c.push_back(std::make_unique<ReportCommand>());
    c.push_back(std::make_unique<DrivesCommand>());
    c.push_back(std::make_unique<SearchCommand>());
    c.push_back(std::make_unique<DuplicatesCommand>());
    c.push_back(std::make_unique<SingleCopiesCommand>());
    c.push_back(std::make_unique<VerifyCommand>());
    return c;
}
