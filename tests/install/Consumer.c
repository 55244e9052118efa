// SPDX-License-Identifier: BSD-2-Clause
/* A program that links the installed codec and nothing else of this source
 * tree: it codes a UYVY conformance picture through the field functions and
 * decodes the frame again, and both must give the conformance bytes.
 *
 *     consumer <picture.uyvy> <width> <height> <expected frame> <expected picture>
 */
#include <qf25.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

static unsigned char* ReadFile(const char* path, long* size)
{
    FILE* file = fopen(path, "rb");
    unsigned char* bytes = NULL;
    if (file && fseek(file, 0, SEEK_END) == 0 && (*size = ftell(file)) >= 0 && fseek(file, 0, SEEK_SET) == 0 &&
        (bytes = malloc((size_t)*size + 1)) && fread(bytes, 1, (size_t)*size, file) != (size_t)*size) {
        free(bytes);
        bytes = NULL;
    }
    if (file)
        fclose(file);
    if (!bytes)
        fprintf(stderr, "cannot read %s\n", path);
    return bytes;
}

static int Same(const unsigned char* got, long gotSize, const unsigned char* expected, long expectedSize,
                const char* what)
{
    if (gotSize == expectedSize && memcmp(got, expected, (size_t)gotSize) == 0)
        return 1;
    fprintf(stderr, "%s: %ld bytes differ from the expected %ld\n", what, gotSize, expectedSize);
    return 0;
}

int main(int argc, char** argv)
{
    long pictureSize = 0, frameSize = 0, decodedSize = 0;
    int32_t width, height, line, stride, field, ok;
    unsigned char header[QF25_BITMAP_HEADER_BYTES] = {0};
    unsigned char *picture, *expectedFrame, *expectedPicture, *frame, *decoded;
    uint32_t capacity, length = 0;
    void* handle;

    if (argc != 6) {
        fprintf(stderr, "usage: consumer <picture.uyvy> <width> <height> <expected frame> <expected picture>\n");
        return 2;
    }
    width = atoi(argv[2]);
    height = atoi(argv[3]);
    picture = ReadFile(argv[1], &pictureSize);
    expectedFrame = ReadFile(argv[4], &frameSize);
    expectedPicture = ReadFile(argv[5], &decodedSize);
    if (!picture || !expectedFrame || !expectedPicture)
        return 1;

    header[0] = QF25_BITMAP_HEADER_BYTES;                 /* biSize */
    memcpy(header + 4, &width, sizeof width);              /* biWidth */
    memcpy(header + 8, &height, sizeof height);            /* biHeight */
    header[12] = 1;                                        /* biPlanes */
    header[14] = 16;                                       /* biBitCount */
    memcpy(header + 16, "UYVY", 4);                        /* biCompression */
    line = width * 2;
    stride = 2 * line;                                     /* top-down: a field is every other line */
    capacity = QFC_MaxFrameSize(width, height);
    frame = calloc(capacity, 1);
    decoded = calloc((size_t)pictureSize, 1);

    handle = QFC_CompressFieldBegin(header);
    for (field = 0; handle && field < 2; ++field)
        length = QFC_CompressFieldSized(handle, frame, capacity, picture + field * line, stride, field);
    QFC_CompressFieldEnd(handle);
    ok = handle && Same(frame, (long)length, expectedFrame, frameSize, "coded frame");

    handle = QFC_DecompressFieldBegin(header);
    for (field = 0; handle && field < 2; ++field)
        ok &= QFC_DecompressFieldSized(handle, decoded + field * line, expectedFrame, (uint32_t)frameSize, stride,
                                       field) == 0;
    QFC_DecompressFieldEnd(handle);
    ok = ok && handle && Same(decoded, pictureSize, expectedPicture, decodedSize, "decoded picture");

    printf("%s: %s, kernels %s\n", argv[1], ok ? "coded and decoded to the conformance bytes" : "FAILED",
           QFC_KernelTier());
    free(picture);
    free(expectedFrame);
    free(expectedPicture);
    free(frame);
    free(decoded);
    return ok ? 0 : 1;
}
