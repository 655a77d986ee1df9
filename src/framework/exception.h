// Base of the framework's exceptions.
//
// Exceptions of this family are created with new and thrown as pointers
// (`throw new CFileException(...)`); the catcher owns the object and disposes
// of it with Delete():
//
//     try { ... }
//     catch (CException* e) {
//         if (e->IsKindOf(RUNTIME_CLASS(CZipException))) ...
//         e->Delete();
//     }
#pragma once

#include <string>

#include "framework/object.h"

class CException : public CObject {
    DECLARE_DYNAMIC(CException)
public:
    explicit CException(bool autoDelete = true) : autoDelete(autoDelete) {}
    ~CException() override = default;

    // Copies the exception's message into `buffer` (at most capacity - 1
    // bytes, then a terminating zero). False when there is no buffer, no room
    // or no message. `helpContext` is accepted for the framework's interface
    // and left untouched. The base has no message.
    virtual bool GetErrorMessage(char* buffer, unsigned capacity,
                                 unsigned* helpContext = nullptr) const;

    // The message as a string, as a 1000-byte buffer receives it (cut to 999
    // characters); empty when there is none.
    std::string GetErrorMessage() const;

    // Disposes of a caught exception: deletes it when autoDelete is set.
    void Delete();

    bool autoDelete;
};
