#include "shell/SelectNetworkFormUnit.h"

#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPainter>
#include <QPushButton>
#include <QStyle>
#include <QStyleOptionFocusRect>
#include <QStyledItemDelegate>
#include <QVBoxLayout>
#include <algorithm>

#include "sharing/ConnectionUnit.h"
#include "ui/Form1View.h"
#include "ui/ModalDialog.h"

namespace {

constexpr std::int32_t NCS_CONNECTED = 2;
// $0080FF in the toolkit's blue-green-red order.
const QColor kOrange(0xFF, 0x80, 0x00);

enum Role : int {
  HasConnectionRole = Qt::UserRole + 1,
  GuidRole,
  NameRole,
  DeviceNameRole,
  StatusRole,
  WirelessRole,
};

QString Q(const std::string& s) { return QString::fromStdString(s); }

QIcon PickerImage(const char* name) {
  // The application icon registers the shared icon resources first.
  (void)TForm1View::ApplicationIcon();
  return QIcon(QStringLiteral(":/kestrune/icons/%1.svg").arg(QLatin1String(name)));
}

class TConnectionItemDelegate : public QStyledItemDelegate {
 public:
  explicit TConnectionItemDelegate(TSelectNetworkForm& form) : QStyledItemDelegate(&form), form_(form) {}

  void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override {
    painter->save();
    form_.ListBox1DrawItem(*painter, index.row(), option.rect, option.state.testFlag(QStyle::State_Selected),
                           option.state.testFlag(QStyle::State_HasFocus));
    painter->restore();
  }

  QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex&) const override {
    return {option.rect.width(), TSelectNetworkForm::kItemHeight};
  }

 private:
  TSelectNetworkForm& form_;
};

bool Pick(TSelectNetworkForm& form, const TConnectionManager& manager, const char* caption,
          bool (*wanted)(const TConnection&), std::string& guid) {
  form.lblCaption->setText(QString::fromLatin1(caption));
  form.Clear();
  const auto& list = manager.Connections();
  for (int i = 0; i < list.Count(); ++i) {
    const TConnection* c = manager.Connection(i);
    if (c && wanted(*c)) form.AddConnection(*c);
  }
  if (form.Execute() != QDialog::Accepted) return false;
  const std::string chosen = form.SelectedGuid();
  if (chosen.empty()) return false;
  guid = chosen;
  return true;
}

}  // namespace

int TSelectNetworkForm::TItem::ImageIndex() const {
  return (Status == NCS_CONNECTED ? 1 : 0) + (IsWireless ? 2 : 0);
}

const char* TSelectNetworkForm::TItem::StatusText() const {
  return Status == NCS_CONNECTED ? "Connected" : "Disconnected";
}

TSelectNetworkForm::TSelectNetworkForm(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("SelectNetworkForm"));
  setWindowTitle(QStringLiteral("Select Connection"));
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
  setFixedSize(kClientWidth, kClientHeight);

  ImageList1 = {PickerImage("wired_disconnected"), PickerImage("wired_connected"),
                PickerImage("wireless_disconnected"), PickerImage("wireless_connected")};

  auto* layout = new QVBoxLayout(this);
  lblCaption = new QLabel(this);
  lblCaption->setObjectName(QStringLiteral("lblCaption"));
  lblCaption->setWordWrap(true);
  // Captions are set by the caller; never read as markup.
  lblCaption->setTextFormat(Qt::PlainText);
  layout->addWidget(lblCaption);

  auto* panel = new QFrame(this);
  panel->setObjectName(QStringLiteral("Panel1"));
  panel->setFrameShape(QFrame::Panel);
  panel->setFrameShadow(QFrame::Sunken);
  auto* panelLayout = new QVBoxLayout(panel);
  panelLayout->setContentsMargins(1, 1, 1, 1);
  ListBox1 = new QListWidget(panel);
  ListBox1->setObjectName(QStringLiteral("ListBox1"));
  ListBox1->setFrameShape(QFrame::NoFrame);
  ListBox1->setSelectionMode(QAbstractItemView::SingleSelection);
  ListBox1->setUniformItemSizes(true);
  ListBox1->setItemDelegate(new TConnectionItemDelegate(*this));
  panelLayout->addWidget(ListBox1);
  layout->addWidget(panel, 1);

  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  btnOK = new QPushButton(QStringLiteral("&OK"), this);
  btnOK->setObjectName(QStringLiteral("btnOK"));
  btnOK->setDefault(true);
  btnCancel = new QPushButton(QStringLiteral("&Cancel"), this);
  btnCancel->setObjectName(QStringLiteral("btnCancel"));
  buttons->addWidget(btnOK);
  buttons->addWidget(btnCancel);
  layout->addLayout(buttons);

  connect(btnOK, &QPushButton::clicked, this, &QDialog::accept);
  connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
  connect(ListBox1, &QListWidget::itemDoubleClicked, this, [this] { ListBox1DblClick(); });
}

void TSelectNetworkForm::Clear() {
  ListBox1->clearSelection();
  ListBox1->clear();
}

void TSelectNetworkForm::AddConnection(const TConnection& c) {
  auto* item = new QListWidgetItem(QString(), ListBox1);
  item->setData(HasConnectionRole, true);
  item->setData(GuidRole, Q(c.Guid));
  item->setData(NameRole, Q(c.Name));
  item->setData(DeviceNameRole, Q(c.DeviceName));
  item->setData(StatusRole, c.Status);
  item->setData(WirelessRole, c.IsWireless);
  item->setSizeHint(QSize(0, kItemHeight));
}

void TSelectNetworkForm::AddEmptyItem() {
  auto* item = new QListWidgetItem(QString(), ListBox1);
  item->setSizeHint(QSize(0, kItemHeight));
}

int TSelectNetworkForm::Count() const { return ListBox1->count(); }

TSelectNetworkForm::TItem TSelectNetworkForm::Item(int row) const {
  TItem result;
  const QListWidgetItem* item = ListBox1->item(row);
  if (!item || !item->data(HasConnectionRole).toBool()) return result;
  result.HasConnection = true;
  result.Guid = item->data(GuidRole).toString().toStdString();
  result.Name = item->data(NameRole).toString().toStdString();
  result.DeviceName = item->data(DeviceNameRole).toString().toStdString();
  result.Status = item->data(StatusRole).toInt();
  result.IsWireless = item->data(WirelessRole).toBool();
  return result;
}

std::string TSelectNetworkForm::SelectedGuid() const {
  const auto selected = ListBox1->selectedItems();
  if (selected.isEmpty()) return {};
  return Item(ListBox1->row(selected.first())).Guid;
}

int TSelectNetworkForm::Execute() { return kestrune::ui::RunModal(*this); }

void TSelectNetworkForm::ListBox1DblClick() {
  if (!ListBox1->selectedItems().isEmpty()) accept();
}

void TSelectNetworkForm::ListBox1DrawItem(QPainter& canvas, int row, const QRect& rect, bool selected,
                                          bool focused) const {
  // The toolkit's rectangles end one pixel before right and bottom.
  const int L = rect.left(), T = rect.top(), R = rect.right() + 1, B = rect.bottom() + 1;
  canvas.fillRect(rect, palette().color(QPalette::Window));
  QColor fontColor = Qt::black;
  canvas.setPen(kOrange);
  canvas.drawLine(L + 7, B - 1, R - 7, B - 1);
  if (selected) {
    fontColor = kOrange;
    canvas.drawLine(L + 7, B - 1, R - 7, B - 1);
    if (focused) {
      QStyleOptionFocusRect option;
      option.initFrom(ListBox1);
      option.rect = rect;
      option.backgroundColor = palette().color(QPalette::Window);
      style()->drawPrimitive(QStyle::PE_FrameFocusRect, &option, &canvas, ListBox1);
    }
  }
  const TItem item = Item(row);
  if (!item.HasConnection) return;

  canvas.setFont(ListBox1->font());
  canvas.setPen(fontColor);
  const int lineHeight = canvas.fontMetrics().height();
  const auto text = [&](int top, const QString& s) {
    canvas.drawText(QRect(L + 58, T + top, std::max(0, R - (L + 58)), lineHeight), Qt::AlignLeft | Qt::AlignTop,
                    s);
  };
  text(8, Q(item.Name));
  const QIcon& image = ImageList1[static_cast<std::size_t>(item.ImageIndex())];
  image.paint(&canvas, QRect(L + 7, T + (kItemHeight - kImageSize) / 2, kImageSize, kImageSize));
  text(24, QString::fromLatin1(item.StatusText()));
  text(40, Q(item.DeviceName));
}

bool PickSource(TSelectNetworkForm& form, const TConnectionManager& manager, std::string& guid) {
  return Pick(form, manager, "Please select the connection through which Internet is connected.",
              [](const TConnection& c) { return c.Status == NCS_CONNECTED; }, guid);
}

bool PickDestination(TSelectNetworkForm& form, const TConnectionManager& manager, std::string& guid) {
  return Pick(form, manager, "Please select the wireless connection which will broadcast the WiFi signal.",
              [](const TConnection& c) { return c.IsWireless; }, guid);
}
