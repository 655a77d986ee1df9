// A move-only owner of one operating-system handle. Each kind of handle gets
// a traits type naming its invalid value and how it is closed; the owner
// closes it exactly once (on Reset or destruction) and never copies it.
#pragma once
#include <utility>

template <typename Traits>
class ScopedHandle {
public:
    using Value = typename Traits::Value;

    ScopedHandle() = default;
    explicit ScopedHandle(Value value) : value_(value) {}
    ~ScopedHandle() { Reset(); }

    ScopedHandle(ScopedHandle&& other) noexcept : value_(other.Release()) {}
    ScopedHandle& operator=(ScopedHandle&& other) noexcept {
        if (this != &other) Reset(other.Release());
        return *this;
    }
    ScopedHandle(const ScopedHandle&) = delete;
    ScopedHandle& operator=(const ScopedHandle&) = delete;

    bool IsValid() const { return Traits::IsValid(value_); }
    explicit operator bool() const { return IsValid(); }
    Value Get() const { return value_; }

    // Gives up ownership without closing.
    Value Release() { return std::exchange(value_, Traits::Invalid()); }

    // Closes the owned handle (if any) and takes `value` instead.
    void Reset(Value value = Traits::Invalid()) {
        Value old = std::exchange(value_, value);
        if (Traits::IsValid(old)) Traits::Close(old);
    }

private:
    Value value_ = Traits::Invalid();
};
