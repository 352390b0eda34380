#include "platform/dxgi/hresult.h"

#include <fmt/printf.h>
#include <gtest/gtest.h>

namespace {

TEST(DxgiHresultTest, PrintsAsEightHexDigits) {
  static_assert(sizeof(HRESULT) == 4);
  struct case_t {
    HRESULT hr;
    const char* text;
  };
  const case_t cases[] = {
      {E_INVALIDARG, "(80070057)"},
      {E_FAIL, "(80004005)"},
      {E_OUTOFMEMORY, "(8007000e)"},
      {DXGI_ERROR_NOT_FOUND, "(887a0002)"},
      {HRESULT_FROM_WIN32(ERROR_INVALID_DATA), "(8007000d)"},
      {HRESULT_FROM_WIN32(ERROR_NOT_SUPPORTED), "(80070032)"},
      {HRESULT_FROM_WIN32(ERROR_ARITHMETIC_OVERFLOW), "(80070216)"},
      {HRESULT_FROM_WIN32(ERROR_HANDLE_EOF), "(80070026)"},
      {S_OK, "(0)"},
  };
  for (const case_t& c : cases) EXPECT_EQ(fmt::sprintf("(%x)", c.hr), c.text);
}

TEST(DxgiHresultTest, SuccessAndFailure) {
  EXPECT_TRUE(SUCCEEDED(S_OK));
  EXPECT_TRUE(SUCCEEDED(S_FALSE));
  EXPECT_TRUE(FAILED(E_FAIL));
  EXPECT_TRUE(FAILED(DXGI_ERROR_INVALID_CALL));
  EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_SUCCESS), S_OK);
  EXPECT_EQ(HRESULT_FACILITY(E_INVALIDARG), FACILITY_WIN32);
  EXPECT_EQ(HRESULT_CODE(E_INVALIDARG), 87u);
}

TEST(DxgiHresultTest, SystemTextLosesItsFinalLineBreak) {
  const HRESULT known[] = {S_OK,
                           E_FAIL,
                           E_INVALIDARG,
                           E_OUTOFMEMORY,
                           E_NOINTERFACE,
                           DXGI_ERROR_NOT_FOUND,
                           DXGI_ERROR_INVALID_CALL,
                           DXGI_ERROR_UNSUPPORTED,
                           HRESULT_FROM_WIN32(ERROR_INVALID_DATA),
                           HRESULT_FROM_WIN32(ERROR_NOT_SUPPORTED),
                           HRESULT_FROM_WIN32(ERROR_ARITHMETIC_OVERFLOW),
                           HRESULT_FROM_WIN32(ERROR_HANDLE_EOF)};
  for (HRESULT hr : known) {
    SCOPED_TRACE(fmt::sprintf("%x", hr));
    const std::string system = system_message_text(hr);
    ASSERT_TRUE(system.ends_with("\r\n"));
    const std::string message = hresult_message(hr);
    EXPECT_EQ(message + "\r\n", system);
    EXPECT_FALSE(message.empty());
  }
  EXPECT_EQ(hresult_message(E_INVALIDARG), "The parameter is incorrect.");
}

TEST(DxgiHresultTest, CodesWithoutSystemText) {
  struct case_t {
    uint32_t hr;
    const char* text;
  };
  const case_t cases[] = {
      {0x80040200u, "IDispatch error #0"},
      {0x80040201u, "IDispatch error #1"},
      {0x8004FFFFu, "IDispatch error #65023"},
      {0x800401FFu, "Unknown error 0x800401FF"},
      {0x80050000u, "Unknown error 0x80050000"},
      {0x12345678u, "Unknown error 0x12345678"},
      {0x7u, "Unknown error 0x7"},
      {0xC0DE0001u, "Unknown error 0xC0DE0001"},
  };
  for (const case_t& c : cases) {
    EXPECT_TRUE(system_message_text(make_hresult(c.hr)).empty());
    EXPECT_EQ(hresult_message(make_hresult(c.hr)), c.text);
  }
}

}  // namespace
