#pragma once
// Equal state descriptions share one object: a device-wide list per kind, searched under the
// device's state mutex. An object leaves its list at its last Release, and a lookup never revives
// one that is already on its way out.

#include <algorithm>
#include <vector>

#include "platform/d3d11/device.h"

template <class State, class Interface, class Desc>
HRESULT find_or_create_state(d3d11_device_t* device, std::vector<State*>& list, const Desc& desc,
                             Interface** out) {
  std::lock_guard<std::mutex> lock(device->state_mutex());
  for (State* state : list) {
    if (state->same_desc(desc) && state->try_add_ref()) {
      *out = state;
      return S_OK;
    }
  }
  auto* state = new State(device, desc);
  list.push_back(state);
  *out = state;
  return S_OK;
}

template <class State>
void forget_state(d3d11_device_t* device, std::vector<State*>& list, State* state) {
  std::lock_guard<std::mutex> lock(device->state_mutex());
  list.erase(std::remove(list.begin(), list.end(), state), list.end());
}
