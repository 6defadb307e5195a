#include "usb/siusbxp_library.h"

#include "usb/device_facts.h"

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <array>
#include <utility>

namespace {

// The calls' types, from their arguments as the device link passes them.
using DeviceCountFn = int(WINAPI *)(DWORD *count);
using ProductStringFn = int(WINAPI *)(DWORD index, void *buffer, DWORD option);
using OpenFn = int(WINAPI *)(DWORD index, HANDLE *handle);
using CloseFn = int(WINAPI *)(HANDLE handle);
using ReadFn = int(WINAPI *)(HANDLE handle, void *buffer, DWORD wanted, DWORD *got, OVERLAPPED *overlapped);
using WriteFn = int(WINAPI *)(HANDLE handle, const void *bytes, DWORD count, DWORD *written,
                              OVERLAPPED *overlapped);
using FlushFn = int(WINAPI *)(HANDLE handle, BYTE transmit, BYTE receive);
using SetTimeoutsFn = int(WINAPI *)(DWORD readMs, DWORD writeMs);
using TimeoutsFn = int(WINAPI *)(DWORD *readMs, DWORD *writeMs);
using RxQueueFn = int(WINAPI *)(HANDLE handle, DWORD *bytesWaiting, DWORD *status);

using Entry = void (*)();

template <typename Fn> Fn typed(Entry entry) {
    return reinterpret_cast<Fn>(entry);
}

HANDLE windowsHandle(UsbHandle handle) {
    return reinterpret_cast<HANDLE>(handle);
}

} // namespace

SiUsbXpLibrary::SiUsbXpLibrary() {
    // Only from beside the program and from the system folders, never from the current one.
    HMODULE module = LoadLibraryExW(usbfacts::kLibraryName, nullptr, LOAD_LIBRARY_SEARCH_DEFAULT_DIRS);
    if (module == nullptr) {
        return;
    }
    const std::array<std::pair<uint16_t, Entry *>, 10> entries = {{
        {usbfacts::kOrdinalDeviceCount, &deviceCount_},
        {usbfacts::kOrdinalProductString, &productString_},
        {usbfacts::kOrdinalOpen, &open_},
        {usbfacts::kOrdinalClose, &close_},
        {usbfacts::kOrdinalRead, &read_},
        {usbfacts::kOrdinalWrite, &write_},
        {usbfacts::kOrdinalFlush, &flush_},
        {usbfacts::kOrdinalSetTimeouts, &setTimeouts_},
        {usbfacts::kOrdinalTimeouts, &timeouts_},
        {usbfacts::kOrdinalRxQueue, &rxQueue_},
    }};
    for (const auto &[ordinal, entry] : entries) {
        *entry = reinterpret_cast<Entry>(GetProcAddress(module, MAKEINTRESOURCEA(ordinal)));
        if (*entry == nullptr) {
            // A library without every call is not the one the link was written for.
            for (const auto &[unused, resolved] : entries) {
                *resolved = nullptr;
            }
            FreeLibrary(module);
            return;
        }
    }
    module_ = module;
}

SiUsbXpLibrary::~SiUsbXpLibrary() {
    if (module_ != nullptr) {
        FreeLibrary(static_cast<HMODULE>(module_));
    }
}

int SiUsbXpLibrary::deviceCount(uint32_t *count) {
    if (count == nullptr) {
        return usbstatus::kInvalidParameter;
    }
    *count = 0;
    if (!loaded()) {
        return usbstatus::kSuccess; // no library: no device attached
    }
    DWORD attached = 0;
    const int status = typed<DeviceCountFn>(deviceCount_)(&attached);
    *count = attached;
    return status;
}

int SiUsbXpLibrary::productString(uint32_t index, char buffer[256], uint32_t option) {
    if (buffer == nullptr) {
        return usbstatus::kInvalidParameter;
    }
    if (!loaded()) {
        return usbstatus::kDeviceNotFound;
    }
    return typed<ProductStringFn>(productString_)(index, buffer, option);
}

int SiUsbXpLibrary::open(uint32_t index, UsbHandle *handle) {
    if (handle == nullptr) {
        return usbstatus::kInvalidParameter;
    }
    *handle = kNoDeviceHandle;
    if (!loaded()) {
        return usbstatus::kDeviceNotFound;
    }
    HANDLE opened = INVALID_HANDLE_VALUE;
    const int status = typed<OpenFn>(open_)(index, &opened);
    if (status == usbstatus::kSuccess) {
        *handle = reinterpret_cast<UsbHandle>(opened);
    }
    return status;
}

int SiUsbXpLibrary::close(UsbHandle handle) {
    if (!loaded()) {
        return usbstatus::kInvalidHandle;
    }
    return typed<CloseFn>(close_)(windowsHandle(handle));
}

int SiUsbXpLibrary::read(UsbHandle handle, uint8_t *buffer, uint32_t wanted, uint32_t *got) {
    if (got == nullptr || buffer == nullptr) {
        return usbstatus::kInvalidParameter;
    }
    *got = 0;
    if (!loaded()) {
        return usbstatus::kInvalidHandle;
    }
    DWORD delivered = 0;
    const int status = typed<ReadFn>(read_)(windowsHandle(handle), buffer, wanted, &delivered, nullptr);
    // Never more than the caller's buffer holds, whatever the library says.
    *got = delivered < wanted ? delivered : wanted;
    return status;
}

int SiUsbXpLibrary::write(UsbHandle handle, const uint8_t *bytes, uint32_t count, uint32_t *written) {
    if (written == nullptr || bytes == nullptr) {
        return usbstatus::kInvalidParameter;
    }
    *written = 0;
    if (!loaded()) {
        return usbstatus::kInvalidHandle;
    }
    DWORD sent = 0;
    const int status = typed<WriteFn>(write_)(windowsHandle(handle), bytes, count, &sent, nullptr);
    *written = sent < count ? sent : count;
    return status;
}

int SiUsbXpLibrary::flush(UsbHandle handle, uint8_t transmit, uint8_t receive) {
    if (!loaded()) {
        return usbstatus::kInvalidHandle;
    }
    return typed<FlushFn>(flush_)(windowsHandle(handle), transmit, receive);
}

int SiUsbXpLibrary::setTimeouts(uint32_t readMs, uint32_t writeMs) {
    if (!loaded()) {
        return usbstatus::kDeviceNotFound;
    }
    return typed<SetTimeoutsFn>(setTimeouts_)(readMs, writeMs);
}

int SiUsbXpLibrary::timeouts(uint32_t *readMs, uint32_t *writeMs) {
    if (readMs == nullptr || writeMs == nullptr) {
        return usbstatus::kInvalidParameter;
    }
    *readMs = 0;
    *writeMs = 0;
    if (!loaded()) {
        return usbstatus::kDeviceNotFound;
    }
    DWORD libraryReadMs = 0;
    DWORD libraryWriteMs = 0;
    const int status = typed<TimeoutsFn>(timeouts_)(&libraryReadMs, &libraryWriteMs);
    *readMs = libraryReadMs;
    *writeMs = libraryWriteMs;
    return status;
}

int SiUsbXpLibrary::rxQueue(UsbHandle handle, uint32_t *bytesWaiting, uint32_t *status) {
    if (bytesWaiting == nullptr || status == nullptr) {
        return usbstatus::kInvalidParameter;
    }
    *bytesWaiting = 0;
    *status = 0;
    if (!loaded()) {
        return usbstatus::kInvalidHandle;
    }
    DWORD waiting = 0;
    DWORD queueStatus = 0;
    const int result = typed<RxQueueFn>(rxQueue_)(windowsHandle(handle), &waiting, &queueStatus);
    *bytesWaiting = waiting;
    *status = queueStatus;
    return result;
}
