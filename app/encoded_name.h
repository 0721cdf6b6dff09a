#pragma once

#include "widgets/file_layer_name.h"

#include <QString>
#include <string>

// A file name field's text in the form the file layer takes. The browser asks for both names
// at every row it paints, so a text is encoded once, not at every asking.
class EncodedNameCache {
public:
    const std::string &of(const QString &text)
    {
        if (!m_encodedOnce || text != m_text) {
            m_text = text;
            m_encoded = FileLayerName(text);
            m_encodedOnce = true;
        }
        return m_encoded;
    }

private:
    QString m_text;
    std::string m_encoded;
    bool m_encodedOnce = false;
};
