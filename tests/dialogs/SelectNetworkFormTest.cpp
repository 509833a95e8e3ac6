// The connection picker: what each picker lists, how a choice comes back,
// and how an item is drawn.
#include <gtest/gtest.h>

#include <QImage>
#include <QLabel>
#include <QListWidget>
#include <QPainter>
#include <QPushButton>
#include <QTest>
#include <string>
#include <vector>

#include "DialogTestSupport.h"
#include "platform/sim/SimMachine.h"
#include "sharing/ConnectionUnit.h"
#include "shell/SelectNetworkFormUnit.h"

using dialogtest::Connection;
using dialogtest::ScopedDriver;
using kestrune::platform::SimNetworkBuilder;
namespace np = kestrune::platform;

namespace {

std::string Guid(int n) { return SimNetworkBuilder::GuidFor(n); }

// A computer with a wired LAN, a VPN, an unplugged LAN, a Wi-Fi adapter
// associated with nothing and a connected Wi-Fi adapter, in that order.
struct Rig {
  Rig() {
    SimNetworkBuilder builder(machine.Registry(), machine.IpHelper(), machine.NetSharing());
    builder.Add(Connection(1, "LAN", true, false));
    builder.Add(Connection(2, "VPN", false, false));
    builder.Add(Connection(3, "LAN 2", true, false, np::NCS_MEDIA_DISCONNECTED));
    builder.Add(Connection(4, "WiFi", true, true, np::NCS_MEDIA_DISCONNECTED));
    builder.Add(Connection(5, "WiFi 2", true, true));
    manager = std::make_unique<TConnectionManager>(machine.Get());
    manager->Refresh();
  }
  np::SimMachine machine;
  std::unique_ptr<TConnectionManager> manager;
  TSelectNetworkForm form;
};

struct Shown {
  std::string caption;
  std::vector<TSelectNetworkForm::TItem> items;
};

// Runs a picker and records what it listed; the user then cancels.
Shown Listed(Rig& rig, bool (*pick)(TSelectNetworkForm&, const TConnectionManager&, std::string&)) {
  Shown shown;
  ScopedDriver driver([&](QDialog& d) {
    auto& form = static_cast<TSelectNetworkForm&>(d);
    shown.caption = form.lblCaption->text().toStdString();
    for (int i = 0; i < form.Count(); ++i) shown.items.push_back(form.Item(i));
    form.btnCancel->click();
  });
  std::string guid = "untouched";
  EXPECT_FALSE(pick(rig.form, *rig.manager, guid));
  EXPECT_EQ(guid, "untouched");
  EXPECT_EQ(driver.runs, 1);
  return shown;
}

std::vector<std::string> Guids(const Shown& s) {
  std::vector<std::string> out;
  for (const auto& i : s.items) out.push_back(i.Guid);
  return out;
}

QImage Blank(const TSelectNetworkForm& form, int width) {
  QImage image(width, TSelectNetworkForm::kItemHeight, QImage::Format_RGB32);
  image.fill(form.palette().color(QPalette::Window));
  return image;
}

QImage DrawItem(const TSelectNetworkForm& form, int row, bool selected, bool focused = false, int width = 260) {
  QImage image = Blank(form, width);
  QPainter painter(&image);
  form.ListBox1DrawItem(painter, row, QRect(0, 0, width, TSelectNetworkForm::kItemHeight), selected, focused);
  return image;
}

const QColor kOrange(0xFF, 0x80, 0x00);

// Pixels of colour c inside r.
int CountColour(const QImage& image, const QRect& r, const QColor& c) {
  int n = 0;
  for (int y = r.top(); y <= r.bottom(); ++y)
    for (int x = r.left(); x <= r.right(); ++x)
      if (image.pixelColor(x, y).rgb() == c.rgb()) ++n;
  return n;
}

// Orange text is smoothed into the background: reddish pixels, never grey.
int CountOrangeish(const QImage& image, const QRect& r) {
  int n = 0;
  for (int y = r.top(); y <= r.bottom(); ++y)
    for (int x = r.left(); x <= r.right(); ++x) {
      const QColor c = image.pixelColor(x, y);
      if (c.red() > 180 && c.red() - c.blue() > 60) ++n;
    }
  return n;
}

// Dark pixels: black text and its smoothing.
int CountDark(const QImage& image, const QRect& r) {
  int n = 0;
  for (int y = r.top(); y <= r.bottom(); ++y)
    for (int x = r.left(); x <= r.right(); ++x)
      if (qGray(image.pixel(x, y)) < 100) ++n;
  return n;
}

QImage Region(const QImage& image, const QRect& r) { return image.copy(r); }

}  // namespace

TEST(SelectNetworkForm, EachPickerListsItsConnectionsInCatalogueOrder) {
  Rig rig;
  const Shown source = Listed(rig, PickSource);
  EXPECT_EQ(source.caption, "Please select the connection through which Internet is connected.");
  // Connected ones only, wired and wireless alike.
  EXPECT_EQ(Guids(source), (std::vector<std::string>{Guid(1), Guid(2), Guid(5)}));

  const Shown dest = Listed(rig, PickDestination);
  EXPECT_EQ(dest.caption, "Please select the wireless connection which will broadcast the WiFi signal.");
  // Every wireless one, whatever its status.
  ASSERT_EQ(Guids(dest), (std::vector<std::string>{Guid(4), Guid(5)}));
  const auto& idle = dest.items[0];
  EXPECT_EQ(idle.Name, "WiFi");
  EXPECT_EQ(idle.DeviceName, "WiFi device");
  EXPECT_EQ(idle.ImageIndex(), 2);
  EXPECT_STREQ(idle.StatusText(), "Disconnected");
  EXPECT_EQ(dest.items[1].ImageIndex(), 3);
  EXPECT_STREQ(dest.items[1].StatusText(), "Connected");
  // Each use starts from an empty list.
  EXPECT_EQ(rig.form.Count(), 2);
  EXPECT_EQ(rig.form.windowTitle(), "Select Connection");
}

TEST(SelectNetworkForm, OnlyAnAcceptedSelectionIsAChoice) {
  struct Case {
    const char* what;
    int select;  // row, -1 none
    enum { Ok, Cancel, DoubleClick, CloseBox } how;
    bool chosen;
  } cases[] = {
      {"OK with the second row", 1, Case::Ok, true},
      {"double-click on a row", 2, Case::DoubleClick, true},
      {"Cancel with a row selected", 0, Case::Cancel, false},
      {"close box with a row selected", 0, Case::CloseBox, false},
      {"OK without a selection", -1, Case::Ok, false},
      {"double-click without a selection keeps it open", -1, Case::DoubleClick, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Rig rig;
    bool openAfter = false;
    ScopedDriver driver([&](QDialog& d) {
      auto& form = static_cast<TSelectNetworkForm&>(d);
      if (c.select >= 0) form.ListBox1->item(c.select)->setSelected(true);
      // The catalogue may be reloaded while the picker is open; the list keeps what it shows.
      rig.manager->Refresh();
      form.ListBox1->viewport()->repaint();
      switch (c.how) {
        case Case::Ok: form.btnOK->click(); break;
        case Case::Cancel: form.btnCancel->click(); break;
        case Case::CloseBox: form.close(); break;
        case Case::DoubleClick: form.ListBox1DblClick(); break;
      }
      openAfter = form.isVisible();
    });
    std::string guid = "untouched";
    EXPECT_EQ(PickSource(rig.form, *rig.manager, guid), c.chosen);
    EXPECT_EQ(guid, c.chosen ? Guid(c.select == 1 ? 2 : 5) : "untouched");
    EXPECT_EQ(openAfter, c.how == Case::DoubleClick && c.select < 0);
  }
}

TEST(SelectNetworkForm, PickerOnAnEmptyCatalogueChangesNothing) {
  np::SimMachine machine;
  SimNetworkBuilder(machine.Registry(), machine.IpHelper(), machine.NetSharing())
      .Add(Connection(1, "LAN", true, false, np::NCS_MEDIA_DISCONNECTED));
  TConnectionManager manager(machine.Get());
  manager.Refresh();
  TSelectNetworkForm form;
  int listed = -1;
  ScopedDriver driver([&](QDialog&) {
    listed = form.Count();
    form.btnOK->click();
  });
  std::string guid;
  EXPECT_FALSE(PickSource(form, manager, guid));
  EXPECT_EQ(listed, 0);
  EXPECT_EQ(guid, "");
}

TEST(SelectNetworkForm, ItemsAreDrawnWithOrangeSeparatorsTextAndTheirIcon) {
  Rig rig;
  rig.form.Clear();
  for (int i = 0; i < rig.manager->Connections().Count(); ++i) rig.form.AddConnection(*rig.manager->Connection(i));
  rig.form.AddEmptyItem();
  constexpr int W = 260, B = TSelectNetworkForm::kItemHeight;
  const QRect separator(7, B - 1, W - 14, 1);
  const QRect texts(58, 8, W - 58, B - 12);
  const QRect icon(7, (B - 48) / 2, 48, 48);

  // The icon of each status and kind is the picker's image of that index.
  std::vector<QImage> images;
  for (const QIcon& i : rig.form.Images()) {
    QImage ref = Blank(rig.form, W);
    QPainter p(&ref);
    i.paint(&p, icon);
    images.push_back(Region(ref, icon));
  }
  for (std::size_t a = 0; a < images.size(); ++a)
    for (std::size_t b = a + 1; b < images.size(); ++b) ASSERT_NE(images[a], images[b]) << a << " " << b;
  const struct {
    int row;
    int image;
  } rows[] = {{0, 1}, {2, 0}, {3, 2}, {4, 3}};
  for (const auto& r : rows) {
    SCOPED_TRACE(r.row);
    for (bool selected : {false, true}) {
      const QImage item = DrawItem(rig.form, r.row, selected);
      EXPECT_EQ(Region(item, icon), images[static_cast<std::size_t>(r.image)]);
      EXPECT_EQ(CountColour(item, separator, kOrange), separator.width());
      // Nothing orange left or right of the separator.
      EXPECT_EQ(CountColour(item, QRect(0, B - 1, 7, 1), kOrange), 0);
      EXPECT_EQ(CountColour(item, QRect(W - 6, B - 1, 6, 1), kOrange), 0);
      if (selected) {
        EXPECT_GT(CountOrangeish(item, texts), 20);
        EXPECT_EQ(CountDark(item, texts), 0);
      } else {
        EXPECT_EQ(CountOrangeish(item, texts), 0);
        EXPECT_GT(CountDark(item, texts), 20);
      }
    }
  }
  // An entry without a connection: the separator alone.
  const QImage empty = DrawItem(rig.form, 5, true);
  EXPECT_EQ(CountColour(empty, separator, kOrange), separator.width());
  EXPECT_EQ(CountOrangeish(empty, texts) + CountDark(empty, texts) + CountDark(empty, icon), 0);
}

TEST(SelectNetworkForm, TheListShowsItemsOfTheFixedHeight) {
  Rig rig;
  ScopedDriver driver([&](QDialog& d) {
    auto& form = static_cast<TSelectNetworkForm&>(d);
    EXPECT_TRUE(QTest::qWaitForWindowExposed(&form));
    EXPECT_EQ(form.ListBox1->visualItemRect(form.ListBox1->item(1)).height(), TSelectNetworkForm::kItemHeight);
    EXPECT_EQ(form.size(), QSize(TSelectNetworkForm::kClientWidth, TSelectNetworkForm::kClientHeight));
  });
  std::string guid;
  EXPECT_FALSE(PickDestination(rig.form, *rig.manager, guid));
}
