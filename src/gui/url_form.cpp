#include "gui/url_form.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace corvane {

TURLForm::TURLForm(const QString& link, const QString& thisServer, QWidget* parent)
    : QDialog(parent),
      scheme_(new QComboBox(this)),
      address_(new QLineEdit(this)),
      thisServer_(thisServer)
{
    setObjectName("URLForm");
    setWindowTitle("Enter any web address (URL) to link");
    scheme_->setObjectName("SchemeList");
    scheme_->addItems({"http://", "https://"});
    address_->setObjectName("AddressEdit");
    address_->setMinimumWidth(320);
    auto* ok = new QPushButton("OK", this);
    ok->setObjectName("OkButton");
    ok->setDefault(true);
    auto* remove = new QPushButton("Remove Link", this);
    remove->setObjectName("RemoveLinkButton");
    auto* cancel = new QPushButton("Cancel", this);
    cancel->setObjectName("CancelButton");
    auto* local = new QPushButton("WebLink to the Server in This Computer", this);
    local->setObjectName("ThisServerButton");

    connect(ok, &QPushButton::clicked, this, [this] {
        result_ = scheme_->currentText() + address_->text();
        accept();
    });
    connect(remove, &QPushButton::clicked, this, [this] {
        result_ = QString();
        accept();
    });
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(local, &QPushButton::clicked, this, [this] {
        scheme_->setCurrentIndex(0);
        address_->setText(thisServer_);
    });

    auto* fields = new QHBoxLayout;
    fields->addWidget(scheme_);
    fields->addWidget(address_, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(local);
    buttons->addStretch(1);
    buttons->addWidget(ok);
    buttons->addWidget(remove);
    buttons->addWidget(cancel);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(fields);
    layout->addLayout(buttons);
    Split(link);
}

// A link longer than 7 characters: "https://" when its fifth character is "s", the address
// from its ninth character on; otherwise "http://" and the address from its eighth.
void TURLForm::Split(const QString& link)
{
    if (link.size() <= 7) return;
    const bool secure = link.at(4) == QChar('s');
    scheme_->setCurrentIndex(secure ? 1 : 0);
    address_->setText(link.mid(secure ? 8 : 7));
}

std::optional<QString> TURLForm::Edit(const QString& link, const QString& thisServer, QWidget* parent)
{
    TURLForm form(link, thisServer, parent);
    form.exec();
    return form.Result();
}

}  // namespace corvane
