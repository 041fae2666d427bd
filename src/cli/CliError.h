#pragma once

#include "core/QuilloryError.h"

// Bad usage: exit status 2 instead of 1.
class CliUsageError : public QuilloryError
{
public:
    using QuilloryError::QuilloryError;
};

// --help or -h where an option stands (not as another option's value): the command's help
// is printed instead of running it.
class CliHelpRequested
{
};
