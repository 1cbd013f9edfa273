#pragma once
// Routes that many tests serve: N pattern bytes, a status with a short body,
// a given body; Serve sets a body route with its status at once.
#include <cstdint>
#include <string>

#include "tests/support/TestServer.h"

namespace velta_test {

Route PatternRoute(const std::string& target, int64_t size);
Route StatusRoute(const std::string& target, int status);
Route BodyRoute(const std::string& target, const std::string& body);
bool Serve(const std::string& target, const std::string& body, int status = 200);

}  // namespace velta_test
