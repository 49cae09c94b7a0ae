// The library's one exception type. Loader, binder and runtime location throw
// it with a finished, human-readable message; only the outermost entry points
// (DllMain, the initialization entry points) catch it and print the message.
#pragma once

#include <exception>
#include <string>

namespace tvc {

class apiException : public std::exception {
public:
    // A null message gives an empty one.
    explicit apiException(const char *message);
    explicit apiException(const std::string &message);
    // Takes the source's text through what(), so a copy made while throwing
    // carries exactly the message the thrower composed.
    apiException(const apiException &other);
    apiException &operator=(const apiException &other);
    ~apiException() override;

    const char *what() const noexcept override;

private:
    std::string message_;
};

}  // namespace tvc
