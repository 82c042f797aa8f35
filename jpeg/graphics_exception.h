#pragma once

#include <exception>
#include <string>

namespace Tessera {

// Base of every error that the image library raises about a picture. The
// byte input's StreamError is deliberately not one of these (it is a
// std::logic_error), so callers that catch GraphicsException do not see it.
class GraphicsException : public std::exception {
  public:
    explicit GraphicsException(std::string message) : message_(std::move(message)) {}
    GraphicsException(const GraphicsException&) = default;
    GraphicsException& operator=(const GraphicsException&) = default;

    const char* what() const noexcept override { return message_.c_str(); }

  private:
    std::string message_;
};

}  // namespace Tessera
