#pragma once

#include "core/QuilloryError.h"

// Raised by TDiskEject: "Could not eject disk!" or "No disk in drive!".
class EDiskEject : public QuilloryError
{
public:
    using QuilloryError::QuilloryError;
};
