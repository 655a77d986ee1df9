// Root of the framework's class family, with a small run-time class record so
// that code holding a base pointer (a caught CException*, for example) can ask
// what the object really is without relying on compiler RTTI.
#pragma once

struct CRuntimeClass {
    const char* className;
    const CRuntimeClass* baseClass;  // null for CObject

    // True when this class is `other` or derives from it.
    bool IsDerivedFrom(const CRuntimeClass* other) const;
};

class CObject {
public:
    virtual ~CObject() = default;

    virtual const CRuntimeClass* GetRuntimeClass() const;
    bool IsKindOf(const CRuntimeClass* cls) const;

    static const CRuntimeClass classCObject;

protected:
    CObject() = default;
};

#define RUNTIME_CLASS(name) (&name::class##name)

// Inside a class body: registers the class with the run-time class record.
#define DECLARE_DYNAMIC(name)                                  \
public:                                                        \
    static const CRuntimeClass class##name;                    \
    const CRuntimeClass* GetRuntimeClass() const override;

// In one source file: defines the record of `name` derived from `base`.
#define IMPLEMENT_DYNAMIC(name, base)                                          \
    const CRuntimeClass name::class##name = {#name, RUNTIME_CLASS(base)};      \
    const CRuntimeClass* name::GetRuntimeClass() const { return &name::class##name; }
