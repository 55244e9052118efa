// SPDX-License-Identifier: BSD-2-Clause
// A DirectShow player in miniature: registers qf25.dll as vidc.qf25 and plays
// the frames of a QF25 AVI through a graph that picks the decoder itself, as
// players do. Its own push source (PushSource.h) feeds a Sample Grabber that
// asks for one layout and a Null Renderer, with no reference clock so that it
// runs at full speed; the graph puts the AVI Decompressor, which wraps the
// installed codecs, in between. For each layout either the connection is
// refused, or every frame arrives and the pictures are written, top line
// first (DIBs arrive bottom-up), to be compared with `qf25 decode`.
//
//     dshowhost.exe <qf25.dll> <in.avi> <output directory>
//
// writes bgr24.raw, bgr32.raw and uyvy.raw (named as `qf25 decode --pix`
// names the layouts) into the output directory. Exit status 0 when every
// layout went as expected; a file "dshowhost.done" there marks a complete run.
//
// Wine's AVI Decompressor sends ICM_DECOMPRESS_BEGIN with the compressed
// header as the output format and names the negotiated layout only with each
// ICM_DECOMPRESS; the codec takes the layout from every frame's request.
#include <windows.h>
#include <dshow.h>
#include <qedit.h>
#include <vfw.h>
#include <wrl/client.h>

#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <string>
#include <vector>

#include "HostSupport.h"
#include "PushSource.h"
#include "VfwCases.h"

namespace {

using Microsoft::WRL::ComPtr;

// qedit's filters, whose class IDs MinGW's headers leave out.
const CLSID CLSID_SAMPLE_GRABBER = {0xc1f400a0, 0x3f08, 0x11d3, {0x9f, 0x0b, 0x00, 0x60, 0x08, 0x03, 0x9e, 0x37}};
const CLSID CLSID_NULL_RENDERER = {0xc1f400a4, 0x3f08, 0x11d3, {0x9f, 0x0b, 0x00, 0x60, 0x08, 0x03, 0x9e, 0x37}};

constexpr DWORD COMPLETION_MS = 30000;

struct Layout {
    const char* name;    // as DirectShow names it
    const GUID* subtype;
    const char* pix;     // the pictures' file, as `qf25 decode --pix` names the layout; null: refused
};

// The layouts the AVI Decompressor offers that players ask for. The codec
// writes the first three; the others must be refused when the graph is
// built, not with every frame, which a player would show as black pictures.
const Layout LAYOUTS[] = {
    {"RGB24", &MEDIASUBTYPE_RGB24, "bgr24"}, {"RGB32", &MEDIASUBTYPE_RGB32, "bgr32"},
    {"UYVY", &MEDIASUBTYPE_UYVY, "uyvy"},    {"YUY2", &MEDIASUBTYPE_YUY2, nullptr},
    {"RGB555", &MEDIASUBTYPE_RGB555, nullptr}, {"RGB565", &MEDIASUBTYPE_RGB565, nullptr},
    {"RGB8", &MEDIASUBTYPE_RGB8, nullptr},
};

struct Clip {
    BITMAPINFOHEADER format;
    REFERENCE_TIME frameTime;
    std::vector<std::vector<uint8_t>> samples;
};

// The stream's format, frame duration and samples as stored, through AVIFile.
bool ReadClip(const std::string& path, Clip* clip)
{
    PAVISTREAM stream = OpenVideoStream(path);
    if (!stream)
        return false;
    AVISTREAMINFOA info = {};
    LONG formatBytes = sizeof clip->format;
    bool ok = CheckResult(AVIStreamInfoA(stream, &info, sizeof info), "AVIStreamInfo") &&
              CheckResult(AVIStreamReadFormat(stream, 0, &clip->format, &formatBytes), "AVIStreamReadFormat") &&
              Check(clip->format.biCompression == QF25 && info.dwRate > 0, "the clip is a QF25 stream");
    clip->frameTime = ok ? REFERENCE_TIME(10000000) * info.dwScale / info.dwRate : 0;
    const LONG start = AVIStreamStart(stream), end = start + AVIStreamLength(stream);
    for (LONG position = start; ok && position < end; ++position) {
        LONG bytes = 0;
        ok = CheckResult(AVIStreamRead(stream, position, 1, nullptr, 0, &bytes, nullptr), "sizing a sample");
        clip->samples.emplace_back(size_t(bytes));
        ok = ok && CheckResult(AVIStreamRead(stream, position, 1, clip->samples.back().data(), bytes, nullptr, nullptr),
                               "reading a sample");
    }
    AVIStreamRelease(stream);
    return ok && Check(!clip->samples.empty(), "the clip has frames");
}

// The type an AVI splitter gives a video stream: FOURCC subtype, VIDEOINFOHEADER.
AM_MEDIA_TYPE CompressedType(const Clip& clip, VIDEOINFOHEADER* video)
{
    *video = VIDEOINFOHEADER{};
    video->AvgTimePerFrame = clip.frameTime;
    video->bmiHeader = clip.format;
    AM_MEDIA_TYPE type = {};
    type.majortype = MEDIATYPE_Video;
    type.subtype = MEDIATYPE_Video;  // FOURCC subtypes share its last twelve bytes
    type.subtype.Data1 = clip.format.biCompression;
    type.formattype = FORMAT_VideoInfo;
    type.cbFormat = sizeof *video;
    type.pbFormat = reinterpret_cast<BYTE*>(video);
    return type;
}

// The Sample Grabber's callback, copying every buffer it is shown. It lives on
// its host's stack, outliving the graph, so it counts no references.
struct FrameCollector final : ISampleGrabberCB {
    std::vector<std::vector<uint8_t>> buffers;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override
    {
        if (iid != IID_IUnknown && iid != __uuidof(ISampleGrabberCB)) {
            *out = nullptr;
            return E_NOINTERFACE;
        }
        *out = this;
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE SampleCB(double, IMediaSample*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE BufferCB(double, BYTE* buffer, long length) override
    {
        buffers.emplace_back(buffer, buffer + length);
        return S_OK;
    }
};

template <typename Interface>
ComPtr<Interface> Create(const CLSID& id)
{
    ComPtr<Interface> object;
    CoCreateInstance(id, nullptr, CLSCTX_INPROC_SERVER, __uuidof(Interface),
                     reinterpret_cast<void**>(object.GetAddressOf()));
    return object;
}

ComPtr<IPin> PinOf(IBaseFilter* filter, PIN_DIRECTION wanted)
{
    ComPtr<IEnumPins> pins;
    ComPtr<IPin> pin;
    if (FAILED(filter->EnumPins(&pins)))
        return pin;
    PIN_DIRECTION direction;
    while (pins->Next(1, pin.ReleaseAndGetAddressOf(), nullptr) == S_OK)
        if (SUCCEEDED(pin->QueryDirection(&direction)) && direction == wanted)
            return pin;
    return nullptr;
}

bool HasAviDecompressor(IFilterGraph* graph)
{
    ComPtr<IEnumFilters> filters;
    ComPtr<IBaseFilter> filter;
    CLSID id;
    if (FAILED(graph->EnumFilters(&filters)))
        return false;
    while (filters->Next(1, filter.ReleaseAndGetAddressOf(), nullptr) == S_OK)
        if (SUCCEEDED(filter->GetClassID(&id)) && id == CLSID_AVIDec)
            return true;
    return false;
}

// What a player settles for: the graph picks the decoder, but decodes once.
// Without it Wine's graph builder chains further AVI Decompressors through
// Wine's RLE codec, which takes any DIB, and searches for many minutes
// before it gives up on a layout that no decoder writes. Like the collector,
// it lives on its host's stack and counts no references.
struct SingleDecoderPolicy final : IAMGraphBuilderCallback {
    IFilterGraph* graph = nullptr;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override
    {
        if (iid != IID_IUnknown && iid != IID_IAMGraphBuilderCallback) {
            *out = nullptr;
            return E_NOINTERFACE;
        }
        *out = this;
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE SelectedFilter(IMoniker*) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE CreatedFilter(IBaseFilter* filter) override
    {
        CLSID id;
        const bool decoder = SUCCEEDED(filter->GetClassID(&id)) && id == CLSID_AVIDec;
        return decoder && HasAviDecompressor(graph) ? E_FAIL : S_OK;
    }
};

// The negotiated picture: the grabber's connected format, of the clip's size.
bool NegotiatedFormat(ISampleGrabber* grabber, const Layout& layout, const Clip& clip, BITMAPINFOHEADER* format)
{
    AM_MEDIA_TYPE type = {};
    if (!CheckResult(grabber->GetConnectedMediaType(&type), std::string(layout.name) + ": GetConnectedMediaType"))
        return false;
    const bool described = type.subtype == *layout.subtype && type.formattype == FORMAT_VideoInfo &&
                           type.cbFormat >= sizeof(VIDEOINFOHEADER);
    if (described)
        *format = reinterpret_cast<const VIDEOINFOHEADER*>(type.pbFormat)->bmiHeader;
    FreeMediaType(&type);
    return Check(described && format->biWidth == clip.format.biWidth &&
                     std::abs(format->biHeight) == std::abs(clip.format.biHeight),
                 std::string(layout.name) + ": the connection has the layout and the clip's size");
}

// Runs the connected graph until the renderer has seen the end of the clip.
void Play(const ComPtr<IGraphBuilder>& graph, IBaseFilter* source, const std::string& what)
{
    ComPtr<IMediaFilter> timing;
    ComPtr<IMediaControl> control;
    ComPtr<IMediaEvent> events;
    const bool found = SUCCEEDED(graph.As(&timing)) && SUCCEEDED(graph.As(&control)) &&
                       SUCCEEDED(graph->QueryInterface(IID_IMediaEvent, reinterpret_cast<void**>(events.GetAddressOf())));
    if (!Check(found, what + ": the graph's control interfaces"))
        return;
    CheckResult(timing->SetSyncSource(nullptr), what + ": removing the reference clock");
    if (!Check(SUCCEEDED(control->Run()), what + ": running the graph"))
        return;
    CheckResult(PushSamples(source), what + ": pushing every frame");
    long code = 0;
    CheckResult(events->WaitForCompletion(COMPLETION_MS, &code), what + ": waiting for the end of the clip");
    Check(code == EC_COMPLETE, what + ": the renderer reports the end of the clip");
    CheckResult(control->Stop(), what + ": stopping the graph");
}

// The frames as files hold them: whole pictures, top line first.
std::vector<uint8_t> Pictures(const std::vector<std::vector<uint8_t>>& buffers, const BITMAPINFOHEADER& format,
                              bool rgb, const std::string& what)
{
    const LONG height = std::abs(format.biHeight);
    const size_t lineBytes = size_t(format.biWidth) * format.biBitCount / 8;
    const bool bottomUp = rgb && format.biHeight > 0;
    std::vector<uint8_t> pictures;
    for (const std::vector<uint8_t>& buffer : buffers) {
        if (!Check(buffer.size() == lineBytes * size_t(height), what + ": every picture is whole"))
            break;
        for (LONG line = 0; line < height; ++line) {
            const uint8_t* start = buffer.data() + size_t(bottomUp ? height - 1 - line : line) * lineBytes;
            pictures.insert(pictures.end(), start, start + lineBytes);
        }
    }
    return pictures;
}

void RunLayout(const Clip& clip, const Layout& layout, const std::string& directory)
{
    const std::string what = layout.name;
    // Both outlive the graph, which holds them.
    FrameCollector collector;
    SingleDecoderPolicy policy;
    const ComPtr<IGraphBuilder> graph = Create<IGraphBuilder>(CLSID_FilterGraph);
    const ComPtr<IBaseFilter> grabberFilter = Create<IBaseFilter>(CLSID_SAMPLE_GRABBER);
    const ComPtr<IBaseFilter> renderer = Create<IBaseFilter>(CLSID_NULL_RENDERER);
    ComPtr<ISampleGrabber> grabber;
    if (grabberFilter)
        grabberFilter.As(&grabber);
    ComPtr<IObjectWithSite> site;
    if (graph)
        graph.As(&site);
    if (!Check(site && grabber && renderer, what + ": creating the graph, Sample Grabber and Null Renderer"))
        return;
    policy.graph = graph.Get();
    site->SetSite(&policy);
    VIDEOINFOHEADER video;
    ComPtr<IBaseFilter> source;
    source.Attach(CreatePushSource(CompressedType(clip, &video), clip.samples, clip.frameTime));
    ComPtr<IPin> sourcePin;
    sourcePin.Attach(PushSourcePin(source.Get()));

    AM_MEDIA_TYPE wanted = {};
    wanted.majortype = MEDIATYPE_Video;
    wanted.subtype = *layout.subtype;
    grabber->SetMediaType(&wanted);
    grabber->SetBufferSamples(FALSE);
    grabber->SetCallback(&collector, 1);
    CheckResult(graph->AddFilter(source.Get(), L"QF25 source"), what + ": adding the source");
    CheckResult(graph->AddFilter(grabberFilter.Get(), L"Sample Grabber"), what + ": adding the Sample Grabber");
    CheckResult(graph->AddFilter(renderer.Get(), L"Null Renderer"), what + ": adding the Null Renderer");

    const HRESULT connected = graph->Connect(sourcePin.Get(), PinOf(grabberFilter.Get(), PINDIR_INPUT).Get());
    if (!layout.pix) {
        if (Check(FAILED(connected), what + ": the connection is refused"))
            std::printf("%s: refused at connection (0x%08lx)\n", layout.name, static_cast<unsigned long>(connected));
        return;
    }
    BITMAPINFOHEADER format = {};
    if (!Check(SUCCEEDED(connected), what + ": the graph connects") ||
        !Check(HasAviDecompressor(graph.Get()), what + ": the graph decodes with the AVI Decompressor") ||
        !CheckResult(graph->Connect(PinOf(grabberFilter.Get(), PINDIR_OUTPUT).Get(),
                                    PinOf(renderer.Get(), PINDIR_INPUT).Get()),
                     what + ": connecting the Null Renderer") ||
        !NegotiatedFormat(grabber.Get(), layout, clip, &format))
        return;
    Play(graph, source.Get(), what);
    Check(collector.buffers.size() == clip.samples.size(), what + ": every frame arrives");
    const bool rgb = layout.subtype != &MEDIASUBTYPE_UYVY;
    Check(WriteBytes(directory + "/" + layout.pix + ".raw", Pictures(collector.buffers, format, rgb, what)),
          what + ": writing the pictures");
    std::printf("%s: %d frames of %ldx%ld\n", layout.name, int(collector.buffers.size()), long(format.biWidth),
                long(format.biHeight));
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 4) {
        std::printf("usage: dshowhost.exe <qf25.dll> <in.avi> <output directory>\n");
        return 2;
    }
    const std::string directory = argv[3];
    const std::string marker = directory + "/dshowhost.done";
    std::remove(marker.c_str());
    Check(Register(argv[1]), "registering vidc.qf25");
    // Before AVIFileInit, which would make the thread single-threaded.
    if (!Check(SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED)), "CoInitializeEx"))
        return 1;
    Clip clip = {};
    AVIFileInit();
    const bool read = ReadClip(argv[2], &clip);
    AVIFileExit();
    for (size_t i = 0; read && i < std::size(LAYOUTS); ++i)
        RunLayout(clip, LAYOUTS[i], directory);
    CoUninitialize();
    std::printf("%d layouts, %d failures\n", int(std::size(LAYOUTS)), failures);
    std::fflush(stdout);
    if (failures == 0)
        WriteBytes(marker, {});
    return failures == 0 ? 0 : 1;
}
