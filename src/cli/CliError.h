#pragma once

#include "core/QuilloryError.h"

// Bad usage: exit status 2 instead of 1.
class CliUsageError : public QuilloryError
{
public:
    using QuilloryError::QuilloryError;
};
