#include "tests/support/Routes.h"

namespace velta_test {

Route PatternRoute(const std::string& target, int64_t size) {
    Route route;
    route.target = target;
    route.pattern = size;
    return route;
}

Route StatusRoute(const std::string& target, int status) {
    Route route;
    route.target = target;
    route.status = status;
    route.body = "not here";
    return route;
}

Route BodyRoute(const std::string& target, const std::string& body) {
    Route route;
    route.target = target;
    route.body = body;
    return route;
}

bool Serve(const std::string& target, const std::string& body, int status) {
    Route route = BodyRoute(target, body);
    route.status = status;
    return SetRoute(route);
}

}  // namespace velta_test
