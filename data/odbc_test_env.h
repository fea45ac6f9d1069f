// Test support: an ODBC data source "veldrona_test" on a SQLite database file, through the
// SQLite ODBC driver and a temporary odbc.ini (ODBCINI, ODBCSYSINI). The environment is set when
// the test program starts, before the driver manager is first used.
#pragma once

#include <dlfcn.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace vld::testing {

inline constexpr const char* kOdbcDriver = "/usr/lib/x86_64-linux-gnu/odbc/libsqlite3odbc.so";
inline constexpr const char* kTestDsn = "veldrona_test";

class OdbcTestEnvironment {
 public:
  static OdbcTestEnvironment& Get() {
    static OdbcTestEnvironment env;
    return env;
  }
  // The database file of the data source "veldrona_test" (it need not exist yet).
  const std::string& Database() const { return database_; }
  const std::string& Folder() const { return folder_; }

 private:
  OdbcTestEnvironment() {
    folder_ = (std::filesystem::temp_directory_path() / ("vld_odbc_" + std::to_string(getpid())))
                  .string();
    std::filesystem::create_directories(folder_ + "/sys");
    database_ = folder_ + "/kunden.db";
    std::ofstream(folder_ + "/sys/odbcinst.ini").flush();
    std::ofstream(folder_ + "/sys/odbc.ini").flush();
    std::ofstream ini(folder_ + "/odbc.ini");
    ini << "[" << kTestDsn << "]\nDriver=" << kOdbcDriver << "\nDatabase=" << database_ << "\n";
    ini.close();
    setenv("ODBCSYSINI", (folder_ + "/sys").c_str(), 1);
    setenv("ODBCINI", (folder_ + "/odbc.ini").c_str(), 1);
    // Keep the driver and the configuration library loaded until the end, so that the leak
    // checker of the sanitizer build can name them (see the suppression in the tests).
    dlopen(kOdbcDriver, RTLD_NOW | RTLD_NODELETE);
    dlopen("libodbcinst.so.2", RTLD_NOW | RTLD_NODELETE);
  }
  ~OdbcTestEnvironment() {
    std::error_code ec;
    std::filesystem::remove_all(folder_, ec);
  }
  std::string folder_, database_;
};

}  // namespace vld::testing
