#include "base/CoreException.h"

ECoreException::ECoreException(std::string message)
    : FMessage(std::move(message))
{
}

ECoreException::~ECoreException() = default;
