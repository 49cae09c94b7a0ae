/* The exception that init_proxy_libraries and the four bind routines throw.
   C++ only, for clients built with MinGW-w64: a client of the platform's own
   compiler cannot catch an exception thrown by this library, and calls the
   initialization entry points (tvcvrtInitialize_proxy and the like), which
   report failure by their result, instead. Every member is defined here, so
   that a client's handler recognizes the type that the library throws. */
#ifndef TVCVRTRT_API_EXCEPTION_H
#define TVCVRTRT_API_EXCEPTION_H

#ifdef __cplusplus
#include <exception>
#include <string>

namespace tvc {

class apiException : public std::exception {
public:
    /* A null message gives an empty one. */
    explicit apiException(const char *message) : message_(message ? message : "") {}
    explicit apiException(const std::string &message) : message_(message) {}
    /* Takes the source's text through what(), so a copy made while throwing
       carries exactly the message the thrower composed. */
    apiException(const apiException &other) : std::exception(), message_(other.what()) {}
    apiException &operator=(const apiException &other) {
        if (this != &other) message_ = other.what();
        return *this;
    }
    ~apiException() override {}

    /* The finished message, such as "Fatal error loading library <path>
       Error: <the system's text>". */
    const char *what() const noexcept override { return message_.c_str(); }

private:
    std::string message_;
};

}  /* namespace tvc */
#endif

#endif
