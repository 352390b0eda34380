#pragma once
// The base of every timeline block: identity, time span, layer and the links the engine
// rebuilds every frame. Blocks are shared objects owned by the engine.

#include <memory>
#include <string>
#include <vector>

class block_base_t;

// A block of a following layer fed by this one.
struct block_consumer_t {
  int overlap_flags = 0;
  block_base_t* block = nullptr;
};

class block_base_t : public std::enable_shared_from_this<block_base_t> {
 public:
  explicit block_base_t(std::string class_name, int id) : class_name(std::move(class_name)), id(id) {}
  virtual ~block_base_t() = default;

  // Animates the exposed variables at the given time.
  virtual void update_variables(float time, bool force) {}
  // Blocks whose outputs this block reads, rendered before it.
  virtual std::vector<block_base_t*> get_dependencies() { return dependencies; }

  std::string class_name;
  int id = -1;
  std::string name;
  int layer = 0;
  std::vector<block_base_t*> sources;
  std::vector<block_consumer_t> consumers;
  std::vector<block_base_t*> dependencies;
  float start_time = 0.0f;
  float end_time = 0.0f;
};

using block_ptr_t = std::shared_ptr<block_base_t>;
