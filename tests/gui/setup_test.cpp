#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

#include "gui/gui_rig.h"
#include "gui/screenshot.h"
#include "panels/setup_dialog.h"

namespace qm::test {
namespace {

class SetupDialogTest : public GuiRig {
 protected:
  // Ports name devices that do not exist, so the machine's own serial ports never take part.
  SetupDialogTest() {
    for (int n = 1; n <= kListedPorts; ++n)
      app_.link.set_port_device(n, (folder_ / ("noport" + std::to_string(n))).string());
  }
  static bool checked(QWidget* dialog, const char* name) {
    auto* button = child<QAbstractButton>(dialog, QString::fromLatin1(name));
    return button != nullptr && button->isChecked();
  }
  static bool enabled(QWidget* dialog, const char* name) {
    auto* w = child<QWidget>(dialog, QString::fromLatin1(name));
    return w != nullptr && w->isEnabled();
  }
  static void click(QWidget* dialog, const char* name) {
    auto* button = child<QAbstractButton>(dialog, QString::fromLatin1(name));
    ASSERT_NE(button, nullptr) << name;
    QTest::mouseClick(button, Qt::LeftButton);
  }
  // Lets the link thread finish what the dialog posted, and the dialog take the results.
  void settle_link() {
    app_.worker.wait_until_idle();
    QCoreApplication::processEvents();
  }
};

TEST_F(SetupDialogTest, Setup_ShowsTheSettings) {
  auto& v = app_.settings.values;
  v.id = 2;
  v.field_rate = 60;
  v.units[0] = 9;
  v.units[1] = 0;
  v.units[2] = 25;
  SetupDialog dialog(app_.panel_services(), false, nullptr);

  EXPECT_EQ(dialog.windowTitle(), " Setup");
  EXPECT_EQ(dialog.objectName(), "dialog187");
  EXPECT_EQ(child<QRadioButton>(&dialog, "localRadio"), nullptr);
  EXPECT_TRUE(checked(&dialog, "id1202"));
  EXPECT_TRUE(checked(&dialog, "rate60Radio"));
  EXPECT_TRUE(checked(&dialog, "unit0Radio9"));
  EXPECT_FALSE(checked(&dialog, "unit1Check"));
  EXPECT_FALSE(enabled(&dialog, "unit1Radio16"));
  EXPECT_TRUE(checked(&dialog, "unit2Check"));
  EXPECT_TRUE(checked(&dialog, "unit2Radio25"));
  EXPECT_EQ(child<QCheckBox>(&dialog, "unit1Check")->text(), "Unit 1     ");

  auto* box = child<QComboBox>(&dialog, "portBox");
  ASSERT_NE(box, nullptr);
  EXPECT_EQ(box->currentText(), "None");  // no port configured
}

TEST_F(SetupDialogTest, SetupIp_LinkRadiosFollowTheSettings) {
  SetupDialog local(app_.panel_services(), true, nullptr);
  EXPECT_EQ(local.windowTitle(), " Setup IP");
  EXPECT_EQ(local.objectName(), "dialog133");
  EXPECT_TRUE(checked(&local, "localRadio"));
  EXPECT_NE(child<QPushButton>(&local, "configureIpButton"), nullptr);

  start_gateway();
  ASSERT_EQ(app_.link.tcp_connect(), 1);
  SetupDialog remote(app_.panel_services(), true, nullptr);
  EXPECT_TRUE(checked(&remote, "remoteRadio"));
  remote.remote_link_dropped();
  EXPECT_TRUE(checked(&remote, "localRadio"));
}

TEST_F(SetupDialogTest, SetupIp_RemoteConnectsAndLocalDrops) {
  start_gateway();
  SetupDialog dialog(app_.panel_services(), true, nullptr);
  dialog.show();

  click(&dialog, "remoteRadio");
  EXPECT_FALSE(enabled(&dialog, "localRadio"));  // until the connection is made
  settle_link();
  EXPECT_TRUE(app_.link.tcp_open());
  EXPECT_TRUE(checked(&dialog, "remoteRadio"));
  EXPECT_TRUE(enabled(&dialog, "localRadio"));

  click(&dialog, "localRadio");
  settle_link();
  EXPECT_FALSE(app_.link.tcp_open());
  EXPECT_FALSE(app_.settings.values.ip);
  EXPECT_TRUE(checked(&dialog, "localRadio"));
}

TEST_F(SetupDialogTest, SetupIp_FailedConnectionShowsLocal) {
  app_.settings.values.address = *platform::parse_ipv4("127.0.0.1");
  app_.settings.values.tcp_port = 1;  // nobody listens there
  SetupDialog dialog(app_.panel_services(), true, nullptr);
  dialog.show();
  click(&dialog, "remoteRadio");
  settle_link();
  EXPECT_TRUE(checked(&dialog, "localRadio"));
  EXPECT_EQ(ui_.statuses().back(), "Unable to connect to server");
}

TEST_F(SetupDialogTest, Setup_ControlsChangeTheSettings) {
  connect_serial();
  auto& v = app_.settings.values;
  SetupDialog dialog(app_.panel_services(), false, nullptr);
  dialog.show();

  click(&dialog, "id1203");
  EXPECT_EQ(v.id, 3);
  click(&dialog, "unit2Check");
  EXPECT_EQ(v.units[2], 16);
  EXPECT_TRUE(checked(&dialog, "unit2Radio16"));
  click(&dialog, "unit2Radio9");
  EXPECT_EQ(v.units[2], 9);
  click(&dialog, "unit2Check");
  EXPECT_EQ(v.units[2], 0);
  EXPECT_FALSE(checked(&dialog, "unit2Radio9"));
  EXPECT_FALSE(enabled(&dialog, "unit2Radio9"));
  click(&dialog, "rate60Radio");
  EXPECT_EQ(v.field_rate, 60);

  // Choosing "None" in the port box closes the port.
  auto* box = child<QComboBox>(&dialog, "portBox");
  ASSERT_EQ(box->currentIndex(), 0);
  EXPECT_TRUE(box->currentText().startsWith("COM1:  /dev/"));
  box->setFocus();
  QTest::keyClick(box, Qt::Key_Down);
  EXPECT_EQ(box->currentText(), "None");
  settle_link();
  EXPECT_FALSE(app_.link.serial_open());
  EXPECT_EQ(v.com_port, -1);
}

TEST_F(SetupDialogTest, Setup_AutoShowsTheDetectedUnits) {
  connect_serial();
  SetupDialog dialog(app_.panel_services(), false, nullptr);
  dialog.show();
  ASSERT_FALSE(checked(&dialog, "unit1Check"));

  click(&dialog, "autoButton");
  settle_link();
  for (int i = 0; i < 4; ++i) {
    app_.idle.idle(IdleSource::Dialog);
    EXPECT_TRUE(app_.idle.waiting());  // the unit is polled on the link thread
    settle_link();
  }
  EXPECT_EQ(app_.idle.job(), kJobNone);
  EXPECT_TRUE(checked(&dialog, "unit1Check"));
  EXPECT_TRUE(checked(&dialog, "unit1Radio16"));
}

TEST_F(SetupDialogTest, Setup_OkAppliesThePortAndCloses) {
  connect_serial();
  SetupDialog dialog(app_.panel_services(), false, nullptr);
  dialog.show();
  ui_.clear();
  click(&dialog, "okButton");
  settle_link();
  EXPECT_TRUE(app_.link.serial_open());
  EXPECT_EQ(dialog.result(), QDialog::Accepted);
  EXPECT_EQ(ui_.calls().back(), "clear");
}

TEST_F(SetupDialogTest, IpConfig_RefusesAPortOfZeroAndTakesAGoodOne) {
  app_.settings.values.tcp_port = 4000;
  IpConfigDialog dialog(app_.panel_services(), nullptr);
  dialog.show();
  EXPECT_EQ(dialog.windowTitle(), "IP Configuration");
  auto* port = child<QLineEdit>(&dialog, "portEdit");
  ASSERT_NE(port, nullptr);
  EXPECT_EQ(port->text(), "4000");
  EXPECT_EQ(port->maxLength(), 5);

  port->setText("0");
  click(&dialog, "okButton");
  EXPECT_TRUE(dialog.isVisible());
  EXPECT_EQ(ui_.calls().back(), "box:TCP configuration|Invalid TCP connection parameters");

  child<QLineEdit>(&dialog, "addressEdit")->setText("192.168.1.20");
  port->setText("5000");
  click(&dialog, "okButton");
  EXPECT_EQ(dialog.result(), QDialog::Accepted);
  EXPECT_EQ(app_.settings.values.tcp_port, 5000);
  EXPECT_EQ(app_.settings.values.address, *platform::parse_ipv4("192.168.1.20"));
}

TEST_F(SetupDialogTest, Screenshot_SetupDialog) {
  QM_SKIP_UNLESS_SCREENSHOTS();
  connect_serial();
  {
    SetupDialog dialog(app_.panel_services(), true, nullptr);
    save_screenshot(dialog, "setup_ip_dialog.png");
  }
  SetupDialog dialog(app_.panel_services(), false, nullptr);
  save_screenshot(dialog, "setup_dialog.png");
}

TEST_F(SetupDialogTest, Screenshot_IpConfigDialog) {
  QM_SKIP_UNLESS_SCREENSHOTS();
  app_.settings.values.address = *platform::parse_ipv4("192.168.1.20");
  app_.settings.values.tcp_port = 5000;
  app_.settings.values.key = "wall";
  IpConfigDialog dialog(app_.panel_services(), nullptr);
  save_screenshot(dialog, "ip_config_dialog.png");
}

}  // namespace
}  // namespace qm::test
