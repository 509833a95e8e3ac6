#pragma once
// The connection picker: the user chooses the source connection or the
// wireless destination by hand, and the choice becomes a stored setting.
//
// How the main window uses it (the picker is created once, after the window,
// and reused):
//
//   void TForm1::btnSourceClick() {
//     std::string guid;
//     if (!FConnectionManager || !PickSource(*FSelectNetworkForm, *FConnectionManager, guid)) return;
//     TConnection* c = FindConnection(guid);
//     if (!c) return;
//     ShowSourceConnection(c);
//     FSourceGuid = c->Guid;
//     UpdateSharingState();
//   }
//
//   void TForm1::btnSelectDestClick() {
//     std::string guid;
//     if (!FConnectionManager || !PickDestination(*FSelectNetworkForm, *FConnectionManager, guid)) return;
//     TConnection* c = FindConnection(guid);
//     if (!c) return;
//     FDestGuid = c->Guid;
//     ShowWirelessConnection(c);
//     UpdateSharingState();
//   }
//
// The list keeps its own copy of what it shows, so a catalogue reloaded while
// the picker is open cannot leave it pointing at freed connections; the
// chosen GUID is looked up again afterwards.
#include <QDialog>
#include <QIcon>
#include <array>
#include <cstdint>
#include <string>

class QLabel;
class QListWidget;
class QPainter;
class QPushButton;
class TConnection;
class TConnectionManager;

class TSelectNetworkForm : public QDialog {
  Q_OBJECT

 public:
  static constexpr int kClientWidth = 281;
  static constexpr int kClientHeight = 283;
  static constexpr int kItemHeight = 60;
  static constexpr int kImageSize = 48;

  explicit TSelectNetworkForm(QWidget* parent = nullptr);

  // What one item shows, taken from the connection when it was added.
  struct TItem {
    bool HasConnection = false;
    std::string Guid;
    std::string Name;
    std::string DeviceName;
    std::int32_t Status = 0;
    bool IsWireless = false;

    // 0 wired or other, not connected; 1 connected; +2 when wireless.
    int ImageIndex() const;
    // "Connected" or "Disconnected".
    const char* StatusText() const;
  };

  void Clear();
  void AddConnection(const TConnection& c);
  // An entry that carries no connection (drawn with its separator only).
  void AddEmptyItem();
  int Count() const;
  TItem Item(int row) const;
  // The selected item's GUID; empty when nothing is selected.
  std::string SelectedGuid() const;

  // Runs the picker modally; QDialog::Accepted or QDialog::Rejected.
  int Execute();

  void ListBox1DblClick();
  // Draws item row into rect (exclusive right and bottom at rect.right()+1, rect.bottom()+1).
  void ListBox1DrawItem(QPainter& canvas, int row, const QRect& rect, bool selected, bool focused) const;

  // ImageList1.
  const std::array<QIcon, 4>& Images() const { return ImageList1; }

  QLabel* lblCaption = nullptr;
  QListWidget* ListBox1 = nullptr;
  QPushButton* btnOK = nullptr;
  QPushButton* btnCancel = nullptr;

 private:
  std::array<QIcon, 4> ImageList1;
};

// Fills the picker with the connected connections of the catalogue as it was
// last loaded and runs it; true with guid set when the user chose one.
bool PickSource(TSelectNetworkForm& form, const TConnectionManager& manager, std::string& guid);
// The same with every wireless connection, connected or not.
bool PickDestination(TSelectNetworkForm& form, const TConnectionManager& manager, std::string& guid);
