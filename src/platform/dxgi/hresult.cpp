#include "platform/dxgi/hresult.h"

#include <fmt/printf.h>

namespace {

struct message_t {
  HRESULT code;
  const char* text;
};

// The system's message table for the codes this layer and its callers produce. Entries end with
// the line break the system's texts carry.
constexpr message_t system_messages[] = {
    {S_OK, "The operation completed successfully.\r\n"},
    {S_FALSE, "Incorrect function.\r\n"},
    {E_NOTIMPL, "Not implemented\r\n"},
    {E_NOINTERFACE, "No such interface supported\r\n"},
    {E_POINTER, "Invalid pointer\r\n"},
    {E_ABORT, "Operation aborted\r\n"},
    {E_FAIL, "Unspecified error\r\n"},
    {E_UNEXPECTED, "Catastrophic failure\r\n"},
    {E_ACCESSDENIED, "Access is denied.\r\n"},
    {E_HANDLE, "The handle is invalid.\r\n"},
    {E_OUTOFMEMORY, "Not enough memory resources are available to complete this operation.\r\n"},
    {E_INVALIDARG, "The parameter is incorrect.\r\n"},
    {HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND), "The system cannot find the file specified.\r\n"},
    {HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND), "The system cannot find the path specified.\r\n"},
    {HRESULT_FROM_WIN32(ERROR_NOT_ENOUGH_MEMORY),
     "Not enough memory resources are available to process this command.\r\n"},
    {HRESULT_FROM_WIN32(ERROR_INVALID_DATA), "The data is invalid.\r\n"},
    {HRESULT_FROM_WIN32(ERROR_HANDLE_EOF), "Reached the end of the file.\r\n"},
    {HRESULT_FROM_WIN32(ERROR_NOT_SUPPORTED), "The request is not supported.\r\n"},
    {HRESULT_FROM_WIN32(ERROR_ARITHMETIC_OVERFLOW), "Arithmetic result exceeded 32 bits.\r\n"},
    {DXGI_STATUS_OCCLUDED, "The window content is not visible.\r\n"},
    {DXGI_ERROR_INVALID_CALL,
     "The application made a call that is invalid. Either the parameters of the call or the "
     "state of some object was incorrect.\r\n"},
    {DXGI_ERROR_NOT_FOUND, "The object was not found.\r\n"},
    {DXGI_ERROR_MORE_DATA, "The caller did not supply a sufficiently large buffer.\r\n"},
    {DXGI_ERROR_UNSUPPORTED,
     "The specified device interface or feature level is not supported on this system.\r\n"},
    {DXGI_ERROR_DEVICE_REMOVED, "The GPU device instance has been suspended.\r\n"},
    {DXGI_ERROR_DEVICE_HUNG, "The GPU will not respond to more commands.\r\n"},
    {DXGI_ERROR_DEVICE_RESET,
     "The GPU will not respond to more commands, most likely because some other application "
     "submitted invalid commands.\r\n"},
    {DXGI_ERROR_WAS_STILL_DRAWING,
     "The GPU was busy at the moment when the call was made, and the call was "
     "neither executed nor scheduled.\r\n"},
    {DXGI_ERROR_DRIVER_INTERNAL_ERROR,
     "An internal issue prevented the driver from carrying out the specified "
     "operation.\r\n"},
    {DXGI_ERROR_NOT_CURRENTLY_AVAILABLE,
     "The requested functionality is not supported by the device or the "
     "driver.\r\n"},
    {D3D11_ERROR_TOO_MANY_UNIQUE_STATE_OBJECTS,
     "There are too many unique instances of a particular type of state "
     "object.\r\n"},
    {D3D11_ERROR_FILE_NOT_FOUND, "The file was not found.\r\n"},
    {D3D11_ERROR_TOO_MANY_UNIQUE_VIEW_OBJECTS,
     "There are too many unique instances of a particular type of view "
     "object.\r\n"},
};

constexpr uint32_t dispatch_first = 0x80040200u;
constexpr uint32_t dispatch_last = 0x8004FFFFu;

}  // namespace

std::string system_message_text(HRESULT hr) {
  for (const message_t& m : system_messages)
    if (m.code == hr) return m.text;
  return {};
}

std::string hresult_message(HRESULT hr) {
  std::string text = system_message_text(hr);
  if (!text.empty()) {
    if (text.ends_with("\r\n"))
      text.resize(text.size() - 2);
    else if (text.ends_with('\n'))
      text.pop_back();
    return text;
  }
  const auto bits = static_cast<uint32_t>(hr);
  if (bits >= dispatch_first && bits <= dispatch_last)
    return fmt::sprintf("IDispatch error #%d", static_cast<int>(bits - dispatch_first));
  // Formatted from the unsigned 32-bit pattern: widening the signed value to a 64-bit long, as
  // "%lX" would here, prints eight extra F digits.
  return fmt::sprintf("Unknown error 0x%X", bits);
}
