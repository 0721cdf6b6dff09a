#include "widgets/hidden_tab_set.h"

#include "widgets/mnemonics.h"

HiddenTabSet::HiddenTabSet(const QStringList &captions, QWidget *parent)
    : QWidget(parent), m_captions(captions)
{
}

const QStringList &HiddenTabSet::captions() const
{
    return m_captions;
}

int HiddenTabSet::tabIndex() const
{
    return m_tabIndex;
}

void HiddenTabSet::setTabIndex(int index)
{
    m_tabIndex = index;
}

bool HiddenTabSet::selectByMnemonic(QChar key)
{
    if (key.isNull())
        return false;
    const QChar wanted = key.toCaseFolded();
    for (int tab = 0; tab < m_captions.size(); ++tab) {
        if (MnemonicKey(m_captions[tab]).toCaseFolded() != wanted)
            continue;
        if (tab == m_tabIndex)
            return true;
        bool allowChange = true;
        emit changing(tab, &allowChange);
        if (allowChange)
            m_tabIndex = tab;
        return true;
    }
    return false;
}
