#include "SalvixDoc.h"

#include "ResourceIds.h"

bool CSalvixDoc::OnNewDocument(std::int32_t& nDocCount, const std::u16string& strNewTableTitle)
{
    m_strTitle = nDocCount == 0 ? QString::fromUtf16(SALVIX_TEXT_DEVICE_TITLE)
                                : QString::fromStdU16String(strNewTableTitle);
    ++nDocCount;
    return true;
}
