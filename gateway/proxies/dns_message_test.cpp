// The DNS proxy's query reading and answers: malformed datagrams refused, answers that follow
// the question with right counts, the alias answered with a CNAME, the cache-backed lookup.
#include "gateway/proxies/dns_message.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>

#include <array>
#include <random>
#include <string>
#include <vector>

#include "gateway/engine/dns_cache.h"
#include "gateway/engine/service_list.h"
#include "gateway/proxies/dns_proxy.h"

namespace proxies {
namespace {

using Bytes = std::vector<uint8_t>;

// A query for name (labels taken as they are, dots split them) with an EDNS0 OPT record.
Bytes Query(const std::string& name, uint16_t qtype = 1, bool opt = true) {
  Bytes q = {0xBE, 0xEF, 0x01, 0x20, 0, 1, 0, 0, 0, 0, 0, static_cast<uint8_t>(opt ? 1 : 0)};
  std::vector<uint8_t> wire;
  EXPECT_EQ(EncodeDnsName(name, &wire), 0) << name;
  q.insert(q.end(), wire.begin(), wire.end());
  q.insert(q.end(), {static_cast<uint8_t>(qtype >> 8), static_cast<uint8_t>(qtype), 0, 1});
  if (opt) q.insert(q.end(), {0, 0, 41, 0x10, 0, 0, 0, 0, 0, 0, 0});
  return q;
}

uint16_t At16(const Bytes& b, size_t i) { return static_cast<uint16_t>((b[i] << 8) | b[i + 1]); }

size_t QuestionEnd(const Bytes& query) {
  DnsQuestion q;
  EXPECT_EQ(ParseDnsQuery(query, &q), 0);
  return q.end;
}

TEST(DnsQuery, ReadsNameTypeAndEndOfQuestion) {
  Bytes query = Query("Www.Example.TEST", 15);
  DnsQuestion q;
  ASSERT_EQ(ParseDnsQuery(query, &q), 0);
  EXPECT_EQ(q.name, "Www.Example.TEST");
  EXPECT_EQ(q.qtype, 15);
  EXPECT_EQ(q.end, 12u + 18u + 4u);
  EXPECT_TRUE(q.resolvable);
}

TEST(DnsQuery, MalformedDatagramsAreRefused) {
  Bytes good = Query("a.test", 1, false);
  struct Case {
    const char* what;
    Bytes data;
  };
  Bytes response = good;
  response[2] |= 0x80;
  Bytes no_question = good;
  no_question[5] = 0;
  Bytes label_past_end(good.begin(), good.begin() + 14);  // length 1 byte, then cut
  label_past_end[12] = 40;
  Bytes pointer = good;
  pointer[12] = 0xC0;
  pointer[13] = 12;  // points at itself
  Bytes other_label_type = good;
  other_label_type[12] = 0x41;
  Bytes no_end(good.begin(), good.begin() + 12 + 7);  // labels but no final zero
  Bytes cut_type(good.begin(), good.end() - 2);
  Bytes too_long(good.begin(), good.begin() + 12);
  for (int i = 0; i < 5; ++i) {  // 5 x 51 = 255 label bytes + final zero = 256
    too_long.push_back(50);
    too_long.insert(too_long.end(), 50, 'x');
  }
  too_long.insert(too_long.end(), {0, 0, 1, 0, 1});
  const Case cases[] = {
      {"empty", {}},
      {"shorter than a header", Bytes(good.begin(), good.begin() + 11)},
      {"a response", response},
      {"no question", no_question},
      {"label past the end", label_past_end},
      {"compression pointer", pointer},
      {"extended label type", other_label_type},
      {"no final zero", no_end},
      {"QTYPE and QCLASS cut", cut_type},
      {"name over 255 bytes", too_long},
  };
  for (const Case& c : cases) {
    DnsQuestion q;
    EXPECT_EQ(ParseDnsQuery(c.data, &q), -1) << c.what;
    EXPECT_TRUE(AnswerDnsQuery(c.data).empty()) << c.what;
  }
}

TEST(DnsQuery, NameOfExactly255BytesIsRead) {
  Bytes query(12, 0);
  query[5] = 1;
  for (uint8_t len : {63, 63, 63, 61}) {  // 3 x 64 + 62 = 254 bytes + final zero = 255
    query.push_back(len);
    query.insert(query.end(), len, 'y');
  }
  query.insert(query.end(), {0, 0, 1, 0, 1});
  DnsQuestion q;
  ASSERT_EQ(ParseDnsQuery(query, &q), 0);
  EXPECT_EQ(q.name.size(), 253u);
}

TEST(DnsQuery, LabelsHoldingDotsOrZerosAreNotLookedUp) {
  Bytes query = {0, 1, 1, 0, 0, 1, 0, 0, 0, 0, 0, 0, 3, 'a', '.', 'b', 2, 'x', 0, 0, 0, 1, 0, 1};
  DnsQuestion q;
  ASSERT_EQ(ParseDnsQuery(query, &q), 0);
  EXPECT_FALSE(q.resolvable);
  Bytes answer = AnswerDnsQuery(query);
  ASSERT_EQ(answer.size(), query.size());
  EXPECT_EQ(answer[3], 0x03);
}

TEST(DnsAnswer, NameErrorKeepsQuestionAndDropsOpt) {
  Bytes query = Query("NoSuch.Test");
  Bytes answer = BuildNameError(query, DnsQuestion{"NoSuch.Test", 1, QuestionEnd(query)});
  ASSERT_EQ(answer.size(), QuestionEnd(query));
  EXPECT_EQ(answer[0], 0xBE);
  EXPECT_EQ(answer[1], 0xEF);
  EXPECT_EQ(answer[2], 0x85);
  EXPECT_EQ(answer[3], 0x03);
  EXPECT_EQ(At16(answer, 4), 1);
  EXPECT_EQ(At16(answer, 6), 0);
  EXPECT_EQ(At16(answer, 8), 0);
  EXPECT_EQ(At16(answer, 10), 0);
  EXPECT_TRUE(std::equal(answer.begin() + 12, answer.end(), query.begin() + 12));
}

TEST(DnsAnswer, SameNameGetsOneARecordOwnedByTheQuestion) {
  Bytes query = Query("HOST.test");
  size_t end = QuestionEnd(query);
  Bytes answer =
      BuildAddressAnswer(query, {"HOST.test", 1, end}, "host.test.", inet_addr("10.1.2.3"));
  ASSERT_EQ(answer.size(), end + 16);
  EXPECT_EQ(answer[3], 0x00);
  EXPECT_EQ(At16(answer, 6), 1);
  EXPECT_EQ(At16(answer, 10), 0);
  EXPECT_EQ(At16(answer, end), 0xC00C);
  EXPECT_EQ(At16(answer, end + 2), 1);     // A
  EXPECT_EQ(At16(answer, end + 4), 1);     // IN
  EXPECT_EQ(At16(answer, end + 8), 3600);  // TTL low half
  EXPECT_EQ(At16(answer, end + 10), 4);
  EXPECT_EQ(Bytes(answer.end() - 4, answer.end()), (Bytes{10, 1, 2, 3}));
}

TEST(DnsAnswer, AliasGetsCnameThenTheOfficialNamesARecord) {
  Bytes query = Query("alias.test", 15);
  size_t end = QuestionEnd(query);
  Bytes answer = BuildAddressAnswer(query, {"alias.test", 15, end}, "real.example.test",
                                    inet_addr("192.0.2.7"));
  EXPECT_EQ(At16(answer, 6), 2);
  EXPECT_EQ(At16(answer, end), 0xC00C);
  EXPECT_EQ(At16(answer, end + 2), 5);  // CNAME
  uint16_t rdlength = At16(answer, end + 10);
  Bytes official;
  ASSERT_EQ(EncodeDnsName("real.example.test", &official), 0);
  ASSERT_EQ(rdlength, official.size());
  size_t rdata = end + 12;
  EXPECT_EQ(Bytes(answer.begin() + static_cast<long>(rdata),
                  answer.begin() + static_cast<long>(rdata + rdlength)),
            official);
  size_t a = rdata + rdlength;
  EXPECT_EQ(At16(answer, a), 0xC000 | rdata);  // owned by the official name
  EXPECT_EQ(At16(answer, a + 2), 1);
  ASSERT_EQ(answer.size(), a + 16);
  EXPECT_EQ(Bytes(answer.end() - 4, answer.end()), (Bytes{192, 0, 2, 7}));
}

TEST(DnsAnswer, OfficialNameThatCannotBeEncodedFallsBackToOneARecord) {
  Bytes query = Query("alias.test");
  size_t end = QuestionEnd(query);
  const std::string bad_names[] = {"a..b", std::string(64, 'z') + ".test", ""};
  for (const std::string& official : bad_names) {
    Bytes answer =
        BuildAddressAnswer(query, {"alias.test", 1, end}, official, inet_addr("10.0.0.1"));
    EXPECT_EQ(At16(answer, 6), 1) << official;
    EXPECT_EQ(At16(answer, end), 0xC00C) << official;
    EXPECT_EQ(answer.size(), end + 16) << official;
  }
}

TEST(DnsAnswer, AnswerThatWouldPass512BytesDropsTheCname) {
  std::string asked = std::string(63, 'a') + "." + std::string(63, 'b') + "." +
                      std::string(63, 'c') + "." + std::string(61, 'd');
  std::string official = std::string(63, 'e') + "." + std::string(63, 'f') + "." +
                         std::string(63, 'g') + "." + std::string(61, 'h');
  Bytes query = Query(asked, 1, false);
  size_t end = QuestionEnd(query);
  Bytes answer = BuildAddressAnswer(query, {asked, 1, end}, official, inet_addr("10.0.0.2"));
  EXPECT_LE(answer.size(), kDnsUdpAnswerLimit);
  EXPECT_EQ(At16(answer, 6), 1);
}

TEST(DnsAnswer, AnswerFromTheCacheForAliasAndPtrNeverLooksUp) {
  engine::SetUseDnsCache(1);
  engine::DnsCacheStore("alias.cached.test", "Real.Cached.Test", "198.51.100.9");
  Bytes answer = AnswerDnsQuery(Query("ALIAS.cached.test"));
  size_t end = QuestionEnd(Query("ALIAS.cached.test"));
  EXPECT_EQ(answer[3], 0x00);
  EXPECT_EQ(At16(answer, 6), 2);
  EXPECT_EQ(answer[end + 12 + 1], 'r');  // the official name as the cache keeps it
  EXPECT_EQ(Bytes(answer.end() - 4, answer.end()), (Bytes{198, 51, 100, 9}));
  // A PTR query is answered with the name error even for a cached name.
  Bytes ptr = AnswerDnsQuery(Query("alias.cached.test", 12));
  EXPECT_EQ(ptr[3], 0x03);
  EXPECT_EQ(At16(ptr, 6), 0);
  engine::DnsCacheClear();
  engine::SetUseDnsCache(0);
}

TEST(DnsAnswer, MutatedQueriesNeverReadOrWritePastTheDatagram) {
  std::mt19937 rng(53);
  Bytes base = Query("mutate.example.test");
  for (int round = 0; round < 20000; ++round) {
    Bytes d = base;
    int edits = 1 + static_cast<int>(rng() % 4);
    for (int e = 0; e < edits; ++e) d[rng() % d.size()] = static_cast<uint8_t>(rng());
    d.resize(rng() % (d.size() + 1));
    DnsQuestion q;
    if (ParseDnsQuery(d, &q) != 0) continue;
    ASSERT_LE(q.end, d.size());
    Bytes err = BuildNameError(d, q);
    EXPECT_EQ(err.size(), q.end);
    Bytes ok = BuildAddressAnswer(d, q, "official.test", inet_addr("10.9.9.9"));
    EXPECT_LE(ok.size(), kDnsUdpAnswerLimit);
  }
}

TEST(DnsAnswer, AaaaRecordsFollowTheQuestionAndAnEmptyAnswerHasNoError) {
  const Bytes query = Query("six.test", kDnsTypeAaaa);
  DnsQuestion q;
  ASSERT_EQ(ParseDnsQuery(query, &q), 0);
  std::array<uint8_t, 16> one{};
  one[0] = 0x20;
  one[1] = 0x01;
  one[15] = 1;
  std::array<uint8_t, 16> two = one;
  two[15] = 2;
  const Bytes answer = BuildAaaaAnswer(query, q, {one, two});
  EXPECT_EQ(At16(answer, 2), 0x8500);
  EXPECT_EQ(At16(answer, 6), 2);
  EXPECT_EQ(At16(answer, 10), 0) << "the query's OPT record is not echoed";
  ASSERT_EQ(answer.size(), q.end + 2 * 28);
  for (size_t at : {q.end, q.end + 28}) {
    EXPECT_EQ(At16(answer, at), 0xC00C);
    EXPECT_EQ(At16(answer, at + 2), kDnsTypeAaaa);
    EXPECT_EQ(At16(answer, at + 10), 16);
  }
  EXPECT_EQ(answer[q.end + 12 + 15], 1);
  EXPECT_EQ(answer[q.end + 28 + 12 + 15], 2);

  std::vector<std::array<uint8_t, 16>> many(40, one);
  const Bytes capped = BuildAaaaAnswer(query, q, many);
  EXPECT_LE(capped.size(), kDnsUdpAnswerLimit);
  EXPECT_EQ(At16(capped, 6), (kDnsUdpAnswerLimit - q.end) / 28);

  const Bytes empty = BuildEmptyAnswer(query, q);
  EXPECT_EQ(At16(empty, 2), 0x8500);
  EXPECT_EQ(At16(empty, 6), 0);
  EXPECT_EQ(empty.size(), q.end);
}

}  // namespace
}  // namespace proxies
