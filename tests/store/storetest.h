#pragma once

#include "store/storeerror.h"

// The code of the StoreError that fn throws, 0 when it throws none.
template <typename Fn> int errorCode(Fn&& fn) {
    try {
        fn();
    } catch (const store::StoreError& error) {
        return error.code();
    }
    return 0;
}

int runJetTextTests(int argc, char** argv);
int runDatabaseTests(int argc, char** argv);
int runArchiveTests(int argc, char** argv);
