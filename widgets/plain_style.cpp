#include "widgets/plain_style.h"

#include <QStyle>
#include <QStyleFactory>
#include <QWidget>

void SetPlainStyle(QWidget *control)
{
    if (QStyle *plain = QStyleFactory::create("Windows")) {
        plain->setParent(control);
        control->setStyle(plain);
    }
}
