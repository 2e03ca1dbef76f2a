#pragma once
// The framework's root object: run-time class information, a virtual destructor and
// serialisation, in this order.

class CArchive;

struct CRuntimeClass {
    const char* m_lpszClassName;
    int m_nObjectSize;
};

class CObject {
public:
    virtual const CRuntimeClass* GetRuntimeClass() const;
    virtual ~CObject() = default;
    virtual void Serialize(CArchive&) {}

    bool IsKindOf(const char* className) const;
};
