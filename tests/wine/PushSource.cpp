// SPDX-License-Identifier: BSD-2-Clause
// The push source's COM objects in the minimal C++ COM form: each is a struct
// that derives from the one COM interface it implements and from nothing else.
// The pin lives inside the filter and counts its references on the filter.
#include "PushSource.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <utility>

namespace {

const wchar_t PIN_NAME[] = L"Out";

HRESULT CopyMediaType(AM_MEDIA_TYPE* to, const AM_MEDIA_TYPE& from)
{
    *to = from;
    to->pUnk = nullptr;  // the source's type carries none
    to->pbFormat = nullptr;
    if (from.cbFormat == 0)
        return S_OK;
    to->pbFormat = static_cast<BYTE*>(CoTaskMemAlloc(from.cbFormat));
    if (!to->pbFormat) {
        to->cbFormat = 0;
        return E_OUTOFMEMORY;
    }
    std::memcpy(to->pbFormat, from.pbFormat, from.cbFormat);
    return S_OK;
}

// A partial type names GUID_NULL for what it leaves open.
bool Matches(const GUID& wanted, const GUID& offered)
{
    return wanted == GUID_NULL || wanted == offered;
}

struct SourceFilter;

struct SourcePin final : IPin {
    SourceFilter* filter;
    IPin* peer = nullptr;
    IMemInputPin* input = nullptr;
    IMemAllocator* allocator = nullptr;

    explicit SourcePin(SourceFilter* owner) : filter(owner) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
    HRESULT STDMETHODCALLTYPE Connect(IPin* receiver, const AM_MEDIA_TYPE* wanted) override;
    HRESULT STDMETHODCALLTYPE ReceiveConnection(IPin*, const AM_MEDIA_TYPE*) override { return E_UNEXPECTED; }
    HRESULT STDMETHODCALLTYPE Disconnect() override;
    HRESULT STDMETHODCALLTYPE ConnectedTo(IPin** out) override;
    HRESULT STDMETHODCALLTYPE ConnectionMediaType(AM_MEDIA_TYPE* type) override;
    HRESULT STDMETHODCALLTYPE QueryPinInfo(PIN_INFO* info) override;
    HRESULT STDMETHODCALLTYPE QueryDirection(PIN_DIRECTION* direction) override;
    HRESULT STDMETHODCALLTYPE QueryId(LPWSTR* id) override;
    HRESULT STDMETHODCALLTYPE QueryAccept(const AM_MEDIA_TYPE* type) override;
    HRESULT STDMETHODCALLTYPE EnumMediaTypes(IEnumMediaTypes** out) override;
    HRESULT STDMETHODCALLTYPE QueryInternalConnections(IPin**, ULONG*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE EndOfStream() override { return E_UNEXPECTED; }
    HRESULT STDMETHODCALLTYPE BeginFlush() override { return E_UNEXPECTED; }
    HRESULT STDMETHODCALLTYPE EndFlush() override { return E_UNEXPECTED; }
    HRESULT STDMETHODCALLTYPE NewSegment(REFERENCE_TIME, REFERENCE_TIME, double) override { return S_OK; }

    bool Offers(const AM_MEDIA_TYPE& wanted) const;
    HRESULT DecideAllocator();
};

struct SourceFilter final : IBaseFilter {
    LONG references = 1;
    SourcePin pin{this};
    AM_MEDIA_TYPE type = {};
    std::vector<std::vector<uint8_t>> samples;
    REFERENCE_TIME frameTime = 0;
    FILTER_STATE state = State_Stopped;
    IFilterGraph* graph = nullptr;  // not counted: the graph holds the filter
    IReferenceClock* clock = nullptr;
    std::wstring name;

    // A connected pin's peer holds the filter: it is disconnected by now.
    ~SourceFilter()
    {
        if (clock)
            clock->Release();
        FreeMediaType(&type);
    }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
    ULONG STDMETHODCALLTYPE AddRef() override { return ULONG(InterlockedIncrement(&references)); }
    ULONG STDMETHODCALLTYPE Release() override;
    HRESULT STDMETHODCALLTYPE GetClassID(CLSID* id) override;
    HRESULT STDMETHODCALLTYPE Stop() override;
    HRESULT STDMETHODCALLTYPE Pause() override;
    HRESULT STDMETHODCALLTYPE Run(REFERENCE_TIME start) override;
    HRESULT STDMETHODCALLTYPE GetState(DWORD timeout, FILTER_STATE* out) override;
    HRESULT STDMETHODCALLTYPE SetSyncSource(IReferenceClock* newClock) override;
    HRESULT STDMETHODCALLTYPE GetSyncSource(IReferenceClock** out) override;
    HRESULT STDMETHODCALLTYPE EnumPins(IEnumPins** out) override;
    HRESULT STDMETHODCALLTYPE FindPin(LPCWSTR id, IPin** out) override;
    HRESULT STDMETHODCALLTYPE QueryFilterInfo(FILTER_INFO* info) override;
    HRESULT STDMETHODCALLTYPE JoinFilterGraph(IFilterGraph* newGraph, LPCWSTR newName) override;
    HRESULT STDMETHODCALLTYPE QueryVendorInfo(LPWSTR*) override { return E_NOTIMPL; }
};

// The one item an enumerator of the filter gives: its pin, or its pin's type.
HRESULT NewItem(SourceFilter* filter, IPin** out)
{
    *out = &filter->pin;
    (*out)->AddRef();
    return S_OK;
}

HRESULT NewItem(SourceFilter* filter, AM_MEDIA_TYPE** out)
{
    *out = static_cast<AM_MEDIA_TYPE*>(CoTaskMemAlloc(sizeof **out));
    if (!*out)
        return E_OUTOFMEMORY;
    const HRESULT result = CopyMediaType(*out, filter->type);
    if (FAILED(result))
        CoTaskMemFree(*out);
    return result;
}

// IEnumPins or IEnumMediaTypes over the one item of the filter.
template <typename Interface, typename Item>
struct OneItemEnumerator final : Interface {
    LONG references = 1;
    SourceFilter* filter;
    ULONG position;

    OneItemEnumerator(SourceFilter* owner, ULONG start) : filter(owner), position(start) { filter->AddRef(); }
    ~OneItemEnumerator() { filter->Release(); }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override
    {
        if (iid != IID_IUnknown && iid != __uuidof(Interface)) {
            *out = nullptr;
            return E_NOINTERFACE;
        }
        *out = this;
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ULONG(InterlockedIncrement(&references)); }
    ULONG STDMETHODCALLTYPE Release() override
    {
        const LONG left = InterlockedDecrement(&references);
        if (left == 0)
            delete this;
        return ULONG(left);
    }
    HRESULT STDMETHODCALLTYPE Next(ULONG count, Item** items, ULONG* fetched) override
    {
        ULONG got = 0;
        if (count > 0 && position == 0) {
            const HRESULT result = NewItem(filter, &items[0]);
            if (FAILED(result))
                return result;
            got = position = 1;
        }
        if (fetched)
            *fetched = got;
        return got == count ? S_OK : S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE Skip(ULONG count) override
    {
        const ULONG left = 1 - position;
        position += std::min(count, left);
        return count <= left ? S_OK : S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE Reset() override
    {
        position = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Clone(Interface** out) override
    {
        *out = new OneItemEnumerator(filter, position);
        return S_OK;
    }
};

HRESULT SourcePin::QueryInterface(REFIID iid, void** out)
{
    if (iid != IID_IUnknown && iid != IID_IPin) {
        *out = nullptr;
        return E_NOINTERFACE;
    }
    *out = static_cast<IPin*>(this);
    AddRef();
    return S_OK;
}

ULONG SourcePin::AddRef()
{
    return filter->AddRef();
}

ULONG SourcePin::Release()
{
    return filter->Release();
}

bool SourcePin::Offers(const AM_MEDIA_TYPE& wanted) const
{
    const AM_MEDIA_TYPE& offered = filter->type;
    return Matches(wanted.majortype, offered.majortype) && Matches(wanted.subtype, offered.subtype) &&
           Matches(wanted.formattype, offered.formattype);
}

// The receiver's allocator when it has one, with room for the largest sample.
HRESULT SourcePin::DecideAllocator()
{
    size_t largest = 0;
    for (const std::vector<uint8_t>& sample : filter->samples)
        largest = std::max(largest, sample.size());
    IMemAllocator* chosen = nullptr;
    HRESULT result = input->GetAllocator(&chosen);
    if (FAILED(result))
        result = CoCreateInstance(CLSID_MemoryAllocator, nullptr, CLSCTX_INPROC_SERVER, IID_IMemAllocator,
                                  reinterpret_cast<void**>(&chosen));
    if (FAILED(result))
        return result;
    ALLOCATOR_PROPERTIES wanted = {}, actual = {};
    input->GetAllocatorRequirements(&wanted);
    wanted.cBuffers = std::max<LONG>(wanted.cBuffers, 1);
    wanted.cbBuffer = std::max<LONG>(wanted.cbBuffer, LONG(largest));
    wanted.cbAlign = std::max<LONG>(wanted.cbAlign, 1);
    result = chosen->SetProperties(&wanted, &actual);
    if (SUCCEEDED(result) && actual.cbBuffer < LONG(largest))
        result = VFW_E_SIZENOTSET;
    if (SUCCEEDED(result))
        result = input->NotifyAllocator(chosen, FALSE);
    if (FAILED(result)) {
        chosen->Release();
        return result;
    }
    allocator = chosen;
    return S_OK;
}

HRESULT SourcePin::Connect(IPin* receiver, const AM_MEDIA_TYPE* wanted)
{
    if (!receiver)
        return E_POINTER;
    if (peer)
        return VFW_E_ALREADY_CONNECTED;
    if (filter->state != State_Stopped)
        return VFW_E_NOT_STOPPED;
    if (wanted && !Offers(*wanted))
        return VFW_E_TYPE_NOT_ACCEPTED;
    HRESULT result = receiver->ReceiveConnection(this, &filter->type);
    if (FAILED(result))
        return result;
    result = receiver->QueryInterface(IID_IMemInputPin, reinterpret_cast<void**>(&input));
    if (SUCCEEDED(result))
        result = DecideAllocator();
    if (FAILED(result)) {
        if (input)
            input->Release();
        input = nullptr;
        receiver->Disconnect();
        return result;
    }
    peer = receiver;
    peer->AddRef();
    return S_OK;
}

HRESULT SourcePin::Disconnect()
{
    if (!peer)
        return S_FALSE;
    if (filter->state != State_Stopped)
        return VFW_E_NOT_STOPPED;
    allocator->Release();
    input->Release();
    peer->Release();
    allocator = nullptr;
    input = nullptr;
    peer = nullptr;
    return S_OK;
}

HRESULT SourcePin::ConnectedTo(IPin** out)
{
    *out = peer;
    if (!peer)
        return VFW_E_NOT_CONNECTED;
    peer->AddRef();
    return S_OK;
}

HRESULT SourcePin::ConnectionMediaType(AM_MEDIA_TYPE* type)
{
    if (!peer) {
        *type = AM_MEDIA_TYPE{};
        return VFW_E_NOT_CONNECTED;
    }
    return CopyMediaType(type, filter->type);
}

HRESULT SourcePin::QueryPinInfo(PIN_INFO* info)
{
    info->pFilter = filter;
    filter->AddRef();
    info->dir = PINDIR_OUTPUT;
    lstrcpynW(info->achName, PIN_NAME, MAX_PIN_NAME);
    return S_OK;
}

HRESULT SourcePin::QueryDirection(PIN_DIRECTION* direction)
{
    *direction = PINDIR_OUTPUT;
    return S_OK;
}

HRESULT SourcePin::QueryId(LPWSTR* id)
{
    *id = static_cast<LPWSTR>(CoTaskMemAlloc(sizeof PIN_NAME));
    if (!*id)
        return E_OUTOFMEMORY;
    std::memcpy(*id, PIN_NAME, sizeof PIN_NAME);
    return S_OK;
}

HRESULT SourcePin::QueryAccept(const AM_MEDIA_TYPE* type)
{
    return Offers(*type) ? S_OK : S_FALSE;
}

HRESULT SourcePin::EnumMediaTypes(IEnumMediaTypes** out)
{
    *out = new OneItemEnumerator<IEnumMediaTypes, AM_MEDIA_TYPE>(filter, 0);
    return S_OK;
}

HRESULT SourceFilter::QueryInterface(REFIID iid, void** out)
{
    if (iid != IID_IUnknown && iid != IID_IPersist && iid != IID_IMediaFilter && iid != IID_IBaseFilter) {
        *out = nullptr;
        return E_NOINTERFACE;
    }
    *out = static_cast<IBaseFilter*>(this);
    AddRef();
    return S_OK;
}

ULONG SourceFilter::Release()
{
    const LONG left = InterlockedDecrement(&references);
    if (left == 0)
        delete this;
    return ULONG(left);
}

HRESULT SourceFilter::GetClassID(CLSID* id)
{
    *id = GUID_NULL;  // not a registered filter
    return S_OK;
}

HRESULT SourceFilter::Stop()
{
    if (pin.allocator)
        pin.allocator->Decommit();
    state = State_Stopped;
    return S_OK;
}

HRESULT SourceFilter::Pause()
{
    if (state == State_Stopped && pin.allocator) {
        const HRESULT result = pin.allocator->Commit();
        if (FAILED(result))
            return result;
    }
    state = State_Paused;
    return S_OK;
}

HRESULT SourceFilter::Run(REFERENCE_TIME)
{
    if (state == State_Stopped) {
        const HRESULT result = Pause();
        if (FAILED(result))
            return result;
    }
    state = State_Running;
    return S_OK;
}

HRESULT SourceFilter::GetState(DWORD, FILTER_STATE* out)
{
    *out = state;
    return S_OK;
}

HRESULT SourceFilter::SetSyncSource(IReferenceClock* newClock)
{
    if (newClock)
        newClock->AddRef();
    if (clock)
        clock->Release();
    clock = newClock;
    return S_OK;
}

HRESULT SourceFilter::GetSyncSource(IReferenceClock** out)
{
    *out = clock;
    if (clock)
        clock->AddRef();
    return S_OK;
}

HRESULT SourceFilter::EnumPins(IEnumPins** out)
{
    *out = new OneItemEnumerator<IEnumPins, IPin>(this, 0);
    return S_OK;
}

HRESULT SourceFilter::FindPin(LPCWSTR id, IPin** out)
{
    if (std::wcscmp(id, PIN_NAME) != 0) {
        *out = nullptr;
        return VFW_E_NOT_FOUND;
    }
    return NewItem(this, out);
}

HRESULT SourceFilter::QueryFilterInfo(FILTER_INFO* info)
{
    lstrcpynW(info->achName, name.c_str(), MAX_FILTER_NAME);
    info->pGraph = graph;
    if (graph)
        graph->AddRef();
    return S_OK;
}

HRESULT SourceFilter::JoinFilterGraph(IFilterGraph* newGraph, LPCWSTR newName)
{
    graph = newGraph;
    name = newName ? newName : L"";
    return S_OK;
}

}  // namespace

void FreeMediaType(AM_MEDIA_TYPE* type)
{
    CoTaskMemFree(type->pbFormat);
    if (type->pUnk)
        type->pUnk->Release();
    type->pbFormat = nullptr;
    type->cbFormat = 0;
    type->pUnk = nullptr;
}

IBaseFilter* CreatePushSource(const AM_MEDIA_TYPE& type, std::vector<std::vector<uint8_t>> samples,
                              REFERENCE_TIME frameTime)
{
    auto* filter = new SourceFilter;
    if (FAILED(CopyMediaType(&filter->type, type))) {
        filter->Release();
        return nullptr;
    }
    filter->samples = std::move(samples);
    filter->frameTime = frameTime;
    return filter;
}

IPin* PushSourcePin(IBaseFilter* source)
{
    IPin* pin = nullptr;
    NewItem(static_cast<SourceFilter*>(source), &pin);
    return pin;
}

HRESULT PushSamples(IBaseFilter* source)
{
    SourceFilter* filter = static_cast<SourceFilter*>(source);
    SourcePin& pin = filter->pin;
    if (!pin.peer)
        return VFW_E_NOT_CONNECTED;
    const auto count = REFERENCE_TIME(filter->samples.size());
    pin.peer->NewSegment(0, count * filter->frameTime, 1.0);
    HRESULT result = S_OK;
    for (REFERENCE_TIME index = 0; result == S_OK && index < count; ++index) {
        const std::vector<uint8_t>& bytes = filter->samples[size_t(index)];
        IMediaSample* sample = nullptr;
        BYTE* data = nullptr;
        result = pin.allocator->GetBuffer(&sample, nullptr, nullptr, 0);
        if (FAILED(result))
            break;
        REFERENCE_TIME start = index * filter->frameTime, stop = start + filter->frameTime;
        sample->GetPointer(&data);
        std::memcpy(data, bytes.data(), bytes.size());
        sample->SetActualDataLength(LONG(bytes.size()));
        sample->SetSyncPoint(TRUE);
        sample->SetDiscontinuity(index == 0);
        sample->SetTime(&start, &stop);
        result = pin.input->Receive(sample);
        sample->Release();
    }
    if (result == S_OK)
        result = pin.peer->EndOfStream();
    return result;
}
