#include "bootstrap/api_exception.h"

namespace tvc {

apiException::apiException(const char *message) : message_(message ? message : "") {}

apiException::apiException(const std::string &message) : message_(message) {}

apiException::apiException(const apiException &other) : std::exception(), message_(other.what()) {}

apiException &apiException::operator=(const apiException &other) {
    if (this != &other) message_ = other.what();
    return *this;
}

apiException::~apiException() = default;

const char *apiException::what() const noexcept { return message_.c_str(); }

}  // namespace tvc
