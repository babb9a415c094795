#pragma once
// Small owners of platform handles: each releases its handle on every path.
#include <windows.h>

// A kernel handle from CreateFile and friends: NULL and INVALID_HANDLE_VALUE
// both mean "none".
class ScopedHandle {
public:
    explicit ScopedHandle(HANDLE handle = INVALID_HANDLE_VALUE) : handle_(handle) {}
    ~ScopedHandle() { reset(); }
    ScopedHandle(const ScopedHandle&) = delete;
    ScopedHandle& operator=(const ScopedHandle&) = delete;

    bool isValid() const { return handle_ != nullptr && handle_ != INVALID_HANDLE_VALUE; }
    HANDLE get() const { return handle_; }
    void reset(HANDLE handle = INVALID_HANDLE_VALUE) {
        if (isValid()) CloseHandle(handle_);
        handle_ = handle;
    }

private:
    HANDLE handle_;
};

// An enumeration started by FindFirstFileA.
class ScopedFind {
public:
    explicit ScopedFind(HANDLE handle) : handle_(handle) {}
    ~ScopedFind() { if (isValid()) FindClose(handle_); }
    ScopedFind(const ScopedFind&) = delete;
    ScopedFind& operator=(const ScopedFind&) = delete;

    bool isValid() const { return handle_ != nullptr && handle_ != INVALID_HANDLE_VALUE; }
    HANDLE get() const { return handle_; }

private:
    HANDLE handle_;
};

// One reference to a COM interface.
template <class T>
class ScopedComPtr {
public:
    ScopedComPtr() : ptr_(nullptr) {}
    ~ScopedComPtr() { if (ptr_) ptr_->Release(); }
    ScopedComPtr(const ScopedComPtr&) = delete;
    ScopedComPtr& operator=(const ScopedComPtr&) = delete;

    T* get() const { return ptr_; }
    T* operator->() const { return ptr_; }
    // For the out-parameter of CoCreateInstance and QueryInterface.
    void** receive() { return reinterpret_cast<void**>(&ptr_); }

private:
    T* ptr_;
};

// A block from the process heap.
class HeapBuffer {
public:
    explicit HeapBuffer(SIZE_T size) : ptr_(HeapAlloc(GetProcessHeap(), 0, size)) {}
    ~HeapBuffer() { if (ptr_) HeapFree(GetProcessHeap(), 0, ptr_); }
    HeapBuffer(const HeapBuffer&) = delete;
    HeapBuffer& operator=(const HeapBuffer&) = delete;

    unsigned char* get() const { return static_cast<unsigned char*>(ptr_); }

private:
    void* ptr_;
};
