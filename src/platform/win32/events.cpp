#include "platform/win32/events.h"

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace {

class event_t final : public win32::kernel_object_t {
 public:
  event_t(bool manual_reset, bool signalled) : manual_reset_(manual_reset), signalled_(signalled) {}

  void set() {
    {
      std::lock_guard lock(mutex_);
      signalled_ = true;
    }
    if (manual_reset_) {
      changed_.notify_all();
    } else {
      changed_.notify_one();
    }
  }

  void reset() {
    std::lock_guard lock(mutex_);
    signalled_ = false;
  }

  DWORD wait(DWORD milliseconds) {
    std::unique_lock lock(mutex_);
    auto is_signalled = [this] { return signalled_; };
    if (milliseconds == INFINITE) {
      changed_.wait(lock, is_signalled);
    } else if (!changed_.wait_for(lock, std::chrono::milliseconds(milliseconds), is_signalled)) {
      return WAIT_TIMEOUT;
    }
    // An auto-reset event releases one waiter and falls back to unsignalled.
    if (!manual_reset_) signalled_ = false;
    return WAIT_OBJECT_0;
  }

 private:
  const bool manual_reset_;
  bool signalled_;
  std::mutex mutex_;
  std::condition_variable changed_;
};

event_t* as_event(HANDLE handle) {
  if (!handle || handle == INVALID_HANDLE_VALUE) return nullptr;
  return dynamic_cast<event_t*>(win32::from_handle(handle));
}

}  // namespace

HANDLE CreateEventA(void* security_attributes, BOOL manual_reset, BOOL initial_state, LPCSTR name) {
  if (security_attributes || name) return nullptr;
  return win32::to_handle(new event_t(manual_reset != FALSE, initial_state != FALSE));
}

BOOL SetEvent(HANDLE handle) {
  event_t* event = as_event(handle);
  if (!event) return FALSE;
  event->set();
  return TRUE;
}

BOOL ResetEvent(HANDLE handle) {
  event_t* event = as_event(handle);
  if (!event) return FALSE;
  event->reset();
  return TRUE;
}

DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds) {
  event_t* event = as_event(handle);
  if (!event) return WAIT_FAILED;
  return event->wait(milliseconds);
}
