// SPDX-License-Identifier: BSD-2-Clause
// Entry points that hosts call. 32-bit Windows callers keep the stack only
// 4-byte aligned while the SSE2 code below assumes 16 bytes, so every entry
// realigns it.
#pragma once

#if defined(__i386__)
#define QF25_ENTRY __attribute__((force_align_arg_pointer))
#else
#define QF25_ENTRY
#endif
