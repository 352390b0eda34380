#include "engine/rocket_manager.h"

namespace {

class rocket_manager_impl_t final : public rocket_manager_t {
 public:
  void update() override {}
};

}  // namespace

tl::expected<rocket_manager_t*, std::string> create_rocket_manager() { return new rocket_manager_impl_t; }
