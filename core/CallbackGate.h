#pragma once
// Whether the plug-in's callbacks may still run. The host runs some of them on threads of its own
// (HTTP completions on its HTTP thread), so one may be under way while the game thread deletes the
// plug-in, and code of the plug-in still running once deleteMe has returned would outlive the
// library the host then unloads. The plug-in object closes the gate first thing when it is
// destroyed: Close waits for the callback bodies under way on other threads, and WeakCallback runs
// no body until the object's services are gone too (its Holder, made first and destroyed last,
// opens the gate again for a plug-in object made later).
//
//   const CallbackGate::Pass pass;
//   if (pass) { ...the body... }
//
// Threads: any. One mutex with a condition variable guards the count of open plug-in objects, the
// closed flag and the count of bodies under way. A thread-local depth lets the plug-in be deleted
// from inside one of its own callbacks without waiting for itself.
namespace quorvex::CallbackGate {

// A body's permission to run, held for as long as it runs; false once the gate is closed.
class Pass {
public:
    Pass();
    ~Pass();
    Pass(const Pass&) = delete;
    Pass& operator=(const Pass&) = delete;

    explicit operator bool() const { return entered_; }

private:
    bool entered_;
};

// The plug-in object's first member: counts the object from before its services are made until
// after they are gone.
class Holder {
public:
    Holder();
    ~Holder();
    Holder(const Holder&) = delete;
    Holder& operator=(const Holder&) = delete;
};

// The plug-in object's destructor, first thing: when it is the last plug-in object, closes the gate
// and waits for the bodies under way on other threads.
void Close();

}  // namespace quorvex::CallbackGate
