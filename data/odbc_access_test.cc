#include "data/odbc_access.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "data/odbc_test_env.h"
#include "platform/test_support.h"

// The SQLite ODBC driver and the driver manager's configuration library leave small blocks of
// their configuration lookups behind; the leak checker of the sanitizer build is told to leave
// their own allocations alone.
extern "C" const char* __lsan_default_suppressions() {
  return "leak:libsqlite3odbc.so\nleak:libodbcinst.so\n";
}

namespace vld {
namespace {

using testing::ErrorTextOf;
using testing::OdbcTestEnvironment;

// Runs statements on the test data source.
void Execute(const std::vector<std::string>& statements) {
  TOdbcConnection connection(testing::kTestDsn);
  connection.Connect();
  for (const std::string& sql : statements) {
    TOdbcQuery query(connection);
    query.SetSQL(sql);
    query.Open();
  }
}

class OdbcAccessTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(std::filesystem::exists(testing::kOdbcDriver))
        << "Der SQLite-ODBC-Treiber fehlt (scripts/deps.sh installiert libsqliteodbc).";
    std::filesystem::remove(OdbcTestEnvironment::Get().Database());
    Execute(
        {"CREATE TABLE kunden (Nr INTEGER, Name VARCHAR(30), \"Stra\xC3\x9F"
         "e\" TEXT)",
         "INSERT INTO kunden VALUES (1, 'M\xC3\xBCller', 'Hauptstra\xC3\x9F"
         "e 1')",
         "INSERT INTO kunden VALUES (2, '\xC3\x98re \xE2\x82\xAC', NULL)",
         "INSERT INTO kunden VALUES (3, NULL, '" + std::string(300, 'x') + "')"});
  }
  void TearDown() override { std::filesystem::remove(OdbcTestEnvironment::Get().Database()); }
};

TEST_F(OdbcAccessTest, ReadsNamesValuesAndMeasuredWidths) {
  TODBCAccess odbc;
  odbc.SetDatabase(std::make_unique<TOdbcConnection>(testing::kTestDsn));
  odbc.SetSQL("SELECT * FROM kunden ORDER BY Nr");
  odbc.Initialize({TFieldDesc{"alt", 5, 5, 1000}});
  EXPECT_EQ(odbc.codePage, CodePage::kUtf8);
  EXPECT_EQ(odbc.RecordCount(), 3);
  ASSERT_EQ(odbc.FieldCount(), 3);
  // The first description keeps its type; widths are the widest values in engine characters.
  EXPECT_EQ(odbc.GetFieldDesc(0), (TFieldDesc{"Nr", -1, 1, 1000}));
  EXPECT_EQ(odbc.GetFieldDesc(1), (TFieldDesc{"Name", -1, 7, -1}));  // "Øre EUR"
  EXPECT_EQ(odbc.GetFieldDesc(2), (TFieldDesc{"Stra\xC3\x9F"
                                              "e",
                                              -1, kMaxFieldWidth, -1}));
  std::vector<std::vector<std::string>> rows;
  odbc.First();
  while (!odbc.Eof()) {
    odbc.Fetch();
    rows.push_back({odbc.GetField(0), odbc.GetField(1), odbc.GetField(2)});
    odbc.Skip();
  }
  EXPECT_EQ(rows, (std::vector<std::vector<std::string>>{{"1", "M\xC3\xBCller",
                                                          "Hauptstra\xC3\x9F"
                                                          "e 1"},
                                                         {"2", "\xC3\x98re \xE2\x82\xAC", ""},
                                                         {"3", "", std::string(300, 'x')}}));
  EXPECT_EQ(
      odbc.Description(),
      "ODCB-Quelle\r\nDatenbank: veldrona_test\r\nSQL      : SELECT * FROM kunden ORDER BY Nr");
  EXPECT_EQ(ErrorTextOf<EDataAccess>([&] { odbc.SetSQL("SELECT 1"); }),
            "Änderung des SQL-Strings im initialisierten Zustand nicht möglich!");
  EXPECT_EQ(
      ErrorTextOf<EDataAccess>([&] { odbc.SetDatabase(std::make_unique<TOdbcConnection>()); }),
      "Änderung der Datenbank im initialisierten Zustand nicht möglich!");
  odbc.Close();
  EXPECT_FALSE(odbc.Database().Connected());
}

TEST_F(OdbcAccessTest, FailuresNameTheCause) {
  struct Case {
    std::string source, sql, prefix, cause;
  };
  const Case cases[] = {
      {"gibt_es_nicht", "SELECT 1",
       "Datenbankverbindung fehlgeschlagen. Die Verbindung zur ODBC-Quelle \"gibt_es_nicht\" ist "
       "fehlgeschlagen: ",
       "Data source name not found"},
      {testing::kTestDsn, "SELECT * FROM fehlt",
       "Datenbankverbindung fehlgeschlagen. Die SQL-Anweisung kann nicht ausgeführt werden: ",
       "no such table: fehlt"},
      {testing::kTestDsn, "SELECT * FROM kunden WHERE Nr > 9",
       "Die Abfrage \"SELECT * FROM kunden WHERE Nr > 9\" auf der ODBC-Quelle \"veldrona_test\" "
       "liefert keine Datensätze.",
       ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.sql);
    TODBCAccess odbc;
    odbc.SetDatabase(std::make_unique<TOdbcConnection>(c.source));
    odbc.SetSQL(c.sql);
    const std::string error = ErrorTextOf<EDataAccess>([&] { odbc.Initialize({}); });
    EXPECT_EQ(error.substr(0, c.prefix.size()), c.prefix);
    EXPECT_NE(error.find(c.cause), std::string::npos) << error;
    EXPECT_FALSE(odbc.Active());
    EXPECT_FALSE(odbc.Database().Connected());
  }
}

TEST_F(OdbcAccessTest, ListsDataSourcesAndTables) {
  const std::vector<std::string> sources = TOdbcConnection::DataSourceNames();
  EXPECT_NE(std::find(sources.begin(), sources.end(), testing::kTestDsn), sources.end());
  TOdbcConnection connection(testing::kTestDsn);
  EXPECT_EQ(connection.TableNames(), std::vector<std::string>{"kunden"});
}

TEST(OdbcConnectionTest, PasswordsAreMaskedInDisplayNames) {
  TOdbcConnection connection("DSN=kunden;UID=hans;PWD=geheim;Port=1");
  EXPECT_EQ(connection.DisplayName(), "DSN=kunden;UID=hans;PWD=***;Port=1");
  connection.SetDataSource("Driver=x;pwd=abc");
  EXPECT_EQ(connection.DisplayName(), "Driver=x;pwd=***");
}

// The environment must exist before the driver manager is loaded.
const OdbcTestEnvironment& kEnvironment = OdbcTestEnvironment::Get();

}  // namespace
}  // namespace vld
