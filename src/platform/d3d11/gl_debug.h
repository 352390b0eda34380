#pragma once
// GL error checks for debug builds only: a KHR_debug callback that logs driver messages, and
// gl_check() after calls whose failure would otherwise go unnoticed. Release builds compile both away.

void gl_install_debug_callback();

#ifndef NDEBUG
void gl_check_errors(const char* where);
#define GL_CHECK(where) gl_check_errors(where)
#else
#define GL_CHECK(where) ((void)0)
#endif
