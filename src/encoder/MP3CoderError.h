#pragma once

#include "platform/Exception.h"

// The coder's failure: a message and nothing else ("Read Error", "beEncodeChunk failed 2", ...).
class EMP3CoderError : public Exception
{
public:
    using Exception::Exception;
};
