#pragma once

#include "base/CoreException.h"

#include <QString>

#include <exception>
#include <string>

// The program's general exception type: every failure carries a message, which is what the
// application-wide handler writes to error.log.
class Exception : public std::exception {
public:
    explicit Exception(QString message);
    ~Exception() override;

    const QString& Message() const { return FMessage; }
    // The name of the exception class, as the "Application Error" box names it.
    virtual const char* ClassName() const { return "Exception"; }
    const char* what() const noexcept override { return FUtf8.c_str(); }

private:
    QString FMessage;
    std::string FUtf8;
};

ZELTIX_DECLARE_EXCEPTION(EConvertError, Exception);
ZELTIX_DECLARE_EXCEPTION(EInOutError, Exception);
ZELTIX_DECLARE_EXCEPTION(EStreamError, Exception);
ZELTIX_DECLARE_EXCEPTION(EFilerError, EStreamError);
ZELTIX_DECLARE_EXCEPTION(EReadError, EFilerError);
ZELTIX_DECLARE_EXCEPTION(EOutOfResources, Exception);
