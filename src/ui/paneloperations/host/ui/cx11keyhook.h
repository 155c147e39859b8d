#pragma once

#include "ui/cx11keytranslator.h"

#include <QByteArray>
#include <QString>

#include <atomic>
#include <bitset>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

struct _XDisplay;

namespace TC {

struct CX11RecordCallbacks;

// The global keyboard hook on X11: the RECORD extension copies every key press and release the X
// server delivers, to whichever client, to a connection of our own, so the keys are observed without
// being taken from the application that has the focus. A thread of its own, "global_key_hook", sleeps
// in a blocking read on that connection and calls the handler with (Qt key code with modifiers, 0 for
// a press or 1 for a release); a held key's repeats are not reported. start and stop are called on
// one thread (the GUI thread); the handler runs on the hook thread and must not call stop.
class CX11KeyHook
{
public:
    using KeyHandler = std::function<void(int nKey, int nState)>;

    explicit CX11KeyHook(KeyHandler handler);
    ~CX11KeyHook();
    CX11KeyHook(const CX11KeyHook&) = delete;
    CX11KeyHook& operator=(const CX11KeyHook&) = delete;

    // Connects to the display (empty: $DISPLAY) and returns once keys are being recorded. False with
    // the reason when the display cannot be opened, lacks RECORD or refuses to record; nothing is
    // left running then.
    bool start(const QByteArray& displayName, QString& strError);
    // Ends the recording, joins the thread and closes the connections; harmless when not running.
    void stop();
    bool isRunning() const { return m_thread.joinable(); }
    // The display recorded from, as X names it (":0").
    QString displayName() const { return m_strDisplay; }

private:
    friend struct CX11RecordCallbacks;

    enum ERecordState
    {
        RECORD_STARTING,
        RECORD_RUNNING,
        RECORD_ENDED,
    };

    void run();
    void setRecordState(ERecordState eState);
    // Waits until the recording is in eWanted (or has ended) or the time is up; true in eWanted.
    bool waitForState(ERecordState eWanted, int nSeconds);
    void onKeyEvent(bool bPress, unsigned int nKeyCode, unsigned int nState);
    void refreshModifierMasks();
    void closeDisplays();

    KeyHandler m_handler;
    QString m_strDisplay;

    // Each connection has one user: the control connection is start's and stop's; the data connection
    // (where the recording arrives) and the keymap connection (key symbol lookups) belong to the hook
    // thread from its start, and it closes them when it ends. Connections to a server that is gone or
    // hung are abandoned, not closed: Xlib's state after a lost connection is fit only for exiting.
    _XDisplay* m_pControl = nullptr;
    _XDisplay* m_pData = nullptr;
    _XDisplay* m_pKeymap = nullptr;
    int m_nDataSocket = -1;
    unsigned long m_nContext = 0;
    CX11KeyTranslator m_translator; // the hook thread's while it runs
    std::bitset<256> m_keysDown;    // the hook thread's while it runs

    std::mutex m_stateMutex; // never held while Xlib holds a connection's lock
    std::condition_variable m_stateChanged;
    ERecordState m_eRecordState = RECORD_ENDED;
    bool m_bClosingData = false; // the hook thread closes the data connection: stop may no longer cut it
    bool m_bAbandoned = false;   // the server is gone or does not answer: no request goes to it again
    std::atomic<bool> m_bStopping{false};
    std::thread m_thread;
};

} // namespace TC
