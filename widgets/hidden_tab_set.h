#pragma once

#include <QStringList>
#include <QWidget>

// A tab strip that is never shown but whose captions keep their keyboard accelerators
// (see MnemonicFilter). changing() reports the new tab before the change.
class HiddenTabSet : public QWidget {
    Q_OBJECT

public:
    HiddenTabSet(const QStringList &captions, QWidget *parent = nullptr);

    const QStringList &captions() const;
    int tabIndex() const;
    // From the program: silent.
    void setTabIndex(int index);

    // Selects the tab whose caption marks this key with "&"; true when a caption matched.
    // Selecting the tab that is already selected does nothing.
    bool selectByMnemonic(QChar key);

signals:
    // Not raised when newTab is already selected; set *allowChange to false to refuse.
    void changing(int newTab, bool *allowChange);

private:
    QStringList m_captions;
    int m_tabIndex = 0;
};
