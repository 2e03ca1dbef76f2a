#include "common/cobject.h"

#include <cstring>

const CRuntimeClass* CObject::GetRuntimeClass() const {
    static const CRuntimeClass rc{"CObject", sizeof(CObject)};
    return &rc;
}

bool CObject::IsKindOf(const char* className) const {
    return className && std::strcmp(GetRuntimeClass()->m_lpszClassName, className) == 0;
}
