#pragma once

#include <exception>
#include <string>

// The exception base of the code that runs without Qt (base's core, the dial-up service and
// its library and tool): the message is UTF-8 text. The program's Exception carries a QString;
// where the program meets one of these, it converts the message with QString::fromStdString.
class ECoreException : public std::exception {
public:
    explicit ECoreException(std::string message);
    ~ECoreException() override;

    const std::string& Message() const { return FMessage; }
    // The name of the exception class, as an error report names it.
    virtual const char* ClassName() const { return "ECoreException"; }
    const char* what() const noexcept override { return FMessage.c_str(); }

private:
    std::string FMessage;
};

// Declares a named descendant of another exception class (of either family).
#define ZELTIX_DECLARE_EXCEPTION(Name, Base)                                                                           \
    class Name : public Base {                                                                                         \
    public:                                                                                                            \
        using Base::Base;                                                                                              \
        const char* ClassName() const override { return #Name; }                                                       \
    }
