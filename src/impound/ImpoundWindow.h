// frmImpound, "Hold and Release": one vehicle's status, its hold (placed with reason, agency,
// case number and who may release it; cleared with who cleared it), its release (to whom, the
// identification shown, day and time), the payments and refunds taken at any time with the
// balance due, the receipt, and the vehicle's end as sold or disposed of.
#pragma once

#include <QWidget>

#include "ChargeFigures.h"
#include "ChargeSheet.h"
#include "ImpoundRecord.h"
#include "ImpoundStore.h"
#include "ProgramFolder.h"
#include "SettingsFile.h"
#include "StoreChange.h"
#include "TowRecord.h"

class QComboBox;
class QDateTimeEdit;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTableWidget;

namespace tarnvale {

class Dialogs;
class RecordStore;

class ImpoundWindow : public QWidget
{
    Q_OBJECT

  public:
    // A window that deletes itself when closed, and closes when its vehicle is removed.
    ImpoundWindow(RecordStore &store, qint64 recordId, const SettingsFile &settings,
                  const ProgramFolder &folder, Dialogs &dialogs, QWidget *parent = nullptr);

    qint64 recordId() const { return m_recordId; }
    const ImpoundState &state() const { return m_state; }
    // The user name of this workstation's session, kept with every payment taken.
    static QString userName();

  public Q_SLOTS:
    void placeHold();
    void clearHold();
    // Releases the vehicle; with a balance other than zero, only once the user says so.
    void releaseVehicle();
    void markSold();
    void markDisposed();
    // Keeps the amount typed at once, with the day and time and the user's name: a payment,
    // or below zero a refund of the payment chosen in the table.
    void addPayment();
    // Asks for the receipt of the release to be shown (paperRequested); false when the
    // vehicle has no release.
    bool printReceipt();

  Q_SIGNALS:
    // A paper of this vehicle to show and print, named so in its window's title ("Receipt"):
    // the application shows it, as it shows a vehicle Find asks for.
    void paperRequested(const tarnvale::PrintSnapshot &snapshot,
                        const tarnvale::ChargeSheet::Outcome &paper, const QString &name);

  protected:
    // Closed by the user with a hold or a payment typed and not kept: asked first.
    void closeEvent(QCloseEvent *event) override;

  private:
    void reload();
    void showState();
    void updateBalance();
    void onStoreChanged(const StoreChange &change);
    // The figures the balance is owed on: to the release day chosen while the vehicle is in
    // the yard, the record's own once it has left.
    ChargeFigures figures() const;
    void report(ImpoundStore::Result result);
    void dispose(VehicleStatus how);

    bool m_vehicleGone = false;
    RecordStore &m_store;
    ImpoundStore m_impound;
    qint64 m_recordId;
    SettingsFile m_settings;
    ProgramFolder m_folder;
    Dialogs &m_dialogs;
    TowRecord m_record;
    ImpoundState m_state;

    QLabel *m_vehicle = nullptr;
    QLabel *m_status = nullptr;
    QLabel *m_holdShown = nullptr;
    QGroupBox *m_holdBox = nullptr;
    QLineEdit *m_holdReason = nullptr;
    QLineEdit *m_holdAgency = nullptr;
    QLineEdit *m_holdCase = nullptr;
    QLineEdit *m_holdReleaseBy = nullptr;
    QPushButton *m_placeHold = nullptr;
    QPushButton *m_clearHold = nullptr;
    QGroupBox *m_releaseBox = nullptr;
    QLineEdit *m_releasedTo = nullptr;
    QComboBox *m_idType = nullptr;
    QLineEdit *m_idNumber = nullptr;
    QDateTimeEdit *m_releasedAt = nullptr;
    QGroupBox *m_paymentBox = nullptr;
    QTableWidget *m_payments = nullptr;
    QLineEdit *m_payAmount = nullptr;
    QComboBox *m_payMethod = nullptr;
    QLineEdit *m_payReference = nullptr;
    QPushButton *m_addPayment = nullptr;
    QLabel *m_totalDue = nullptr;
    QLabel *m_paid = nullptr;
    QLabel *m_balance = nullptr;
    QPushButton *m_release = nullptr;
    QPushButton *m_sold = nullptr;
    QPushButton *m_disposed = nullptr;
    QPushButton *m_receipt = nullptr;
};

} // namespace tarnvale
