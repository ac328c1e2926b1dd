#pragma once

#include <stdexcept>
#include <string>

// Base of every failure the program raises (ECDRIPError, EMP3CoderError, EHttpException...).
// It carries a message and nothing else; the window shows it in an error box.
class Exception : public std::runtime_error
{
public:
    explicit Exception(const std::string &message) : std::runtime_error(message) {}
};
