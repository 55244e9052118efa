// SPDX-License-Identifier: BSD-2-Clause
/* The public header on its own, as a C program sees it, linked against the
 * shared library: a decoder handle made, set to decode on the calling thread
 * and released, and the frame size bound asked for. */
#include <qf25.h>

#include <string.h>

int main(void)
{
    unsigned char header[QF25_BITMAP_HEADER_BYTES];
    void* handle;
    int32_t width = 720, height = 486;
    memset(header, 0, sizeof header);
    header[0] = QF25_BITMAP_HEADER_BYTES;             /* biSize */
    memcpy(header + 4, &width, sizeof width);          /* biWidth */
    memcpy(header + 8, &height, sizeof height);        /* biHeight */
    header[12] = 1;                                    /* biPlanes */
    header[14] = 32;                                   /* biBitCount, BI_RGB */
    handle = QFC_DecompressFieldBegin(header);
    if (handle == NULL || QFC_MaxFrameSize(width, height) == 0 || QFC_SetSliceThreads(handle, 1) != 0)
        return 1;
    return QFC_DecompressFieldEnd(handle) == 0 ? 0 : 1;
}
