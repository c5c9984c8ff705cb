// The Cache page's rules on a private store: the save step's checks and what it stores, the
// exception dialog's checks, and the exception list's writes read back by the loader.
#include "gateway/web/cache_page_rules.h"

#include <gtest/gtest.h>

#include "gateway/engine/config_store.h"
#include "gateway/engine/store_access.h"
#include "gateway/web/cache_exception_edit.h"
#include "gateway/web/cache_rules.h"
#include "platform/testing/message_recorder.h"
#include "platform/testing/temp_store.h"

namespace web {
namespace {

using platform::testing::MessageRecorder;

int StoredDword(const std::string& sub, const char* name) {
  int value = -1;
  return engine::ReadDwordAt(engine::kKeyCache, sub, name, &value) == 0 ? value : -1;
}

class CachePageRulesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SetCacheSettings({});
    SetCacheExceptions({});
  }
  CacheForm Valid() const {
    CacheForm form;
    form.enable_cache = true;
    form.enable_lookups = true;
    form.max_size_mb = "20";
    form.location = store_.dir() + "/cache";
    form.ttl = "3";
    form.ttl_unit = kTtlHours;
    return form;
  }
  platform::testing::TempStore store_;
};

TEST_F(CachePageRulesTest, SaveStoresMegabytesShiftedAndTheLocationWithItsSlash) {
  MessageRecorder recorder;
  ASSERT_EQ(SaveCacheForm(Valid()), 0);
  EXPECT_TRUE(recorder.texts().empty());
  EXPECT_EQ(StoredDword("", "MaxCacheSize"), 20971520);
  EXPECT_EQ(StoredDword("", "EnableCache"), 1);
  EXPECT_EQ(StoredDword("", "TTLUnit"), kTtlHours);
  EXPECT_EQ(StoredDword("", "TTL"), 3);
  ASSERT_EQ(LoadCacheSettings(), 0);
  const CacheSettings loaded = CurrentCacheSettings();
  EXPECT_EQ(loaded.cache_location, store_.dir() + "/cache/");
  EXPECT_EQ(loaded.max_cache_size, 20u << 20);
  EXPECT_TRUE(loaded.enable_lookups);
  const CacheForm back = FormFromSettings(loaded);
  EXPECT_EQ(back.max_size_mb, "20");
  EXPECT_EQ(back.ttl, "3");
}

TEST_F(CachePageRulesTest, BadValuesAreReportedAndChangeNothing) {
  ASSERT_EQ(SaveCacheForm(Valid()), 0);
  struct Case {
    const char* size;
    const char* ttl;
    std::string location;
    CacheField field;
    std::string message;
  };
  const std::string ok_location = Valid().location;
  const Case cases[] = {
      {"0", "3", ok_location, CacheField::kMaxSize, "Please enter an integer between 1 and 999."},
      {"1000", "3", ok_location, CacheField::kMaxSize,
       "Please enter an integer between 1 and 999."},
      {"12x", "3", ok_location, CacheField::kMaxSize, "Please enter an integer between 1 and 999."},
      {"", "3", ok_location, CacheField::kMaxSize, "Please enter an integer between 1 and 999."},
      {"20", "0", ok_location, CacheField::kTtl, "Please enter an integer between 1 and 254."},
      {"20", "255", ok_location, CacheField::kTtl, "Please enter an integer between 1 and 254."},
      {"20", "3", std::string(257, 'a'), CacheField::kLocation,
       "Please enter no more than 256 characters."},
      {"20", "3", "", CacheField::kLocation,
       "E-10035: Please specify a directory location for the Web Cache."},
  };
  for (const Case& c : cases) {
    MessageRecorder recorder;
    CacheForm form = Valid();
    form.max_size_mb = c.size;
    form.ttl = c.ttl;
    form.location = c.location;
    form.enable_cache = false;
    CacheField field = CacheField::kNone;
    EXPECT_EQ(SaveCacheForm(form, &field), -1) << c.message;
    EXPECT_EQ(field, c.field) << c.message;
    ASSERT_EQ(recorder.messages().size(), 1u) << c.message;
    EXPECT_EQ(recorder.texts()[0], c.message);
    EXPECT_EQ(recorder.messages()[0].caption, "Wayfarer");
    EXPECT_EQ(StoredDword("", "MaxCacheSize"), 20971520) << c.message;
    EXPECT_EQ(StoredDword("", "EnableCache"), 1) << c.message;
    EXPECT_TRUE(CurrentCacheSettings().enable_cache) << c.message;
  }
}

TEST_F(CachePageRulesTest, AFreshStoreShowsZerosAndTheFirstSaveStoresNothing) {
  ASSERT_EQ(LoadCacheSettings(), -1);
  const CacheForm form = FormFromSettings(CurrentCacheSettings());
  EXPECT_EQ(form.max_size_mb, "0");
  EXPECT_EQ(form.ttl, "0");
  MessageRecorder recorder;
  CacheForm clicked = form;
  clicked.enable_cache = true;
  EXPECT_EQ(SaveCacheForm(clicked), -1);
  EXPECT_EQ(StoredDword("", "EnableCache"), -1);
  EXPECT_FALSE(CurrentCacheSettings().enable_cache);
}

TEST_F(CachePageRulesTest, ExceptionDialogChecksCountLengthAndEmptyHost) {
  struct Case {
    std::string host;
    const char* count;
    int rc;
    const char* message;
  };
  const Case cases[] = {
      {"alpha", "0", 0, nullptr},
      {"alpha", "254", 0, nullptr},
      {"alpha", "255", -1, "Please enter an integer between 0 and 254."},
      {"alpha", "-1", -1, "Please enter an integer between 0 and 254."},
      {std::string(128, 'h'), "1", 0, nullptr},
      {std::string(129, 'h'), "1", -1, "Please enter no more than 128 characters."},
      {"", "1", -1, "E-10036: Please specify a URL for this exception."},
  };
  for (const Case& c : cases) {
    MessageRecorder recorder;
    int count = -1;
    EXPECT_EQ(CheckExceptionForm({c.host, c.count, kTtlDays}, &count), c.rc) << c.count;
    if (c.message == nullptr) {
      EXPECT_TRUE(recorder.texts().empty());
      EXPECT_EQ(count, std::stoi(c.count));
    } else {
      ASSERT_EQ(recorder.texts().size(), 1u);
      EXPECT_EQ(recorder.texts()[0], c.message);
    }
  }
}

TEST_F(CachePageRulesTest, ExceptionsAreStoredAsSubkeysAndLoadBack) {
  ASSERT_EQ(PutCacheException("alpha:8080", 0, kTtlHours), 0);
  ASSERT_EQ(PutCacheException("beta", 254, kTtlWeeks), 0);
  EXPECT_EQ(StoredDword("alpha:8080", "TTL"), 1) << "count 0 is stored as 1";
  EXPECT_EQ(StoredDword("alpha:8080", "TTLUnit"), kTtlHours);
  EXPECT_EQ(StoredDword("beta", "TTL"), 255);
  EXPECT_EQ(LookupTtl("alpha:8080"), 0) << "count 0: never cached";
  ASSERT_EQ(LoadCacheSettings(), 0);
  CacheExceptions loaded = CurrentCacheExceptions();
  ASSERT_EQ(loaded.size(), 2u);
  EXPECT_EQ(ExceptionCount(loaded["beta"]), 254);
  EXPECT_EQ(ExceptionUnit(loaded["beta"]), kTtlWeeks);
  EXPECT_EQ(std::string(TtlUnitText(ExceptionUnit(loaded["alpha:8080"]))), "Hours");

  // A Modify that renames the host leaves no entry under the old name.
  ASSERT_EQ(PutCacheException("gamma", 2, kTtlDays, "beta"), 0);
  EXPECT_EQ(StoredDword("beta", "TTL"), -1);
  ASSERT_EQ(LoadCacheSettings(), 0);
  EXPECT_EQ(CurrentCacheExceptions().count("beta"), 0u);
  EXPECT_EQ(ExceptionCount(CurrentCacheExceptions()["gamma"]), 2);

  ASSERT_EQ(DeleteCacheException("gamma"), 0);
  EXPECT_EQ(DeleteCacheException("gamma"), -1);
  ASSERT_EQ(LoadCacheSettings(), 0);
  EXPECT_EQ(CurrentCacheExceptions().size(), 1u);
}

}  // namespace
}  // namespace web
