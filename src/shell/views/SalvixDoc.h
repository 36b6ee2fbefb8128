// The document of a child window. It holds no data and only names the
// window: the first document is the device window, every later one a
// table window titled with the main frame's next table title.
#pragma once

#include <QString>
#include <cstdint>
#include <string>

class CSalvixDoc {
public:
    // Names the document from the process's document counter (raised here,
    // never lowered) and the title for the next table window.
    bool OnNewDocument(std::int32_t& nDocCount, const std::u16string& strNewTableTitle);
    const QString& GetTitle() const { return m_strTitle; }

private:
    QString m_strTitle;
};
