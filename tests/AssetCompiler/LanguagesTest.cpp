#include <tuple>

#include "CompilerFixture.h"
#include "Engine/Components.h"
#include "Engine/LanguageData.h"
#include "Support/LogCapture.h"

namespace ZandelleEngine { namespace Testing { namespace {

using Data::TermLinkEntry;
using Data::TermLinkKind;

class LanguagesTest: public CompilerTest {
    protected:
        LanguagesTest() {
            scene().manager<JavaScriptManager>().registerType("button", {"color", "caption"});
            setSection("objects", R"({"o1": {"name": "Sign", "components": [{"type": "text", "text": {"text": "a"}},
                {"type": "view"}, {"type": "button", "button": {}}, {"type": "text", "text": {"text": "b"}}]},
                "o2": {"name": "Empty"}})");
            compiler().compile("components");
            file()["settings/localization/defaultLanguage"].setString("en");
            setSection("languages",
                R"({"en": {"name": "English"}, "de": {"name": "Deutsch"}, "fr": {"name": "Français"}})");
            Localization& l = editor.localization;
            l.termPaths = {{"title", "/settings/project/name"}, {"greeting", "/objects/o1/components/3/text/text"},
                {"label", "/objects/o1/components/2/button/caption"}, {"view", "/objects/o1/components/1/view/fov"},
                {"empty", "/objects/o2/components/0/text/text"}, {"other", "/settings/other"}};
            l.translations["en"] = {{"title", {"Game"}}, {"greeting", {"Hello"}}, {"label", {"Press"}},
                {"view", {"V"}}, {"empty", {"E"}}, {"other", {"O"}}};
            l.translations["de"] = {{"greeting", {"Hallo", true}}, {"title", {"stale", false}}};
            l.translations["fr"] = {{"greeting", {"Bonjour", true}}};
        }

        std::vector<std::string> strings(std::string_view key) {
            const Data::Id id = compiler().resourceIndex.languages[std::string{key}];
            const std::vector<char>& data = scene().languages().languages[id];
            const std::optional<Data::LanguageDataView> view = Data::readLanguageData(data);
            return view ? view->strings : std::vector<std::string>{"unreadable"};
        }
};

TEST_F(LanguagesTest, TermLinksFallBackTextsAndDeletion) {
    const std::uint32_t before = counter(AssetType::Languages);
    LogCapture log;
    compiler().compile("languages", {"en"});
    EXPECT_EQ(log.problems(),
        "AssetCompiler::compileLanguages(): Failed to create term link for empty , the path /objects/o2/components is "
        "invalid\n"
        "AssetCompiler::compileLanguages(): Failed to create term link for view , missing javascript type view\n");
    EXPECT_EQ(counter(AssetType::Languages), before + 1);

    const Data::LanguageStorage& s = scene().languages();
    ASSERT_EQ(s.termLinks.size(), 6u);
    const Data::Id o1 = object("o1"), o2 = object("o2");
    const std::vector<TermLinkEntry> expected{
        {TermLinkKind::Unresolved, o2, 0, 0},   /* empty: o2 has no components */
        {TermLinkKind::Text, o1, 1, 0},         /* greeting: the second text, fourth component */
        {TermLinkKind::JavaScript, o1, 0, 1},   /* label: first script component, "caption" */
        {TermLinkKind::Unresolved, 0, 0, 0},    /* other: not below /objects/ */
        {TermLinkKind::ProjectName, 0, 0, 0},   /* title */
        {TermLinkKind::JavaScript, o1, 0, 0},   /* view: not a script type */
    };
    EXPECT_EQ(s.resolvedTermLinks, expected);

    /* Other languages leave the links alone */
    editor.localization.termPaths.clear();
    compiler().compile("languages", {"de"});
    EXPECT_EQ(s.termLinks.size(), 6u);
    compiler().compile("languages", {"en"});
    EXPECT_TRUE(s.termLinks.empty());
    EXPECT_TRUE(s.resolvedTermLinks.empty());

    /* Texts fall back to the default language's */
    compiler().compile("languages", {"fr"});
    ResourceIndex::Map& ids = compiler().resourceIndex.languages;
    ASSERT_EQ(ids, (ResourceIndex::Map{{"en", 1}, {"de", 2}, {"fr", 3}}));
    EXPECT_EQ(strings("de"), (std::vector<std::string>{"greeting", "Hallo", "title", "Game"}));
    EXPECT_EQ(strings("fr"), (std::vector<std::string>{"greeting", "Bonjour"}));
    const std::optional<Data::LanguageDataView> en = Data::readLanguageData(scene().languages().languages[1]);
    ASSERT_TRUE(en);
    EXPECT_EQ(std::tuple(en->name, en->key, en->strings.size()), std::tuple("English", "en", 12u));
    /* Language data read back whole only */
    const std::vector<char>& data = scene().languages().languages[1];
    EXPECT_FALSE(Data::readLanguageData(std::span{data.data(), data.size() - 4}));

    /* A language without translations is skipped */
    setRecord("languages", "it", R"({"name": "Italiano"})");
    compiler().compile("languages", {"it"});
    EXPECT_EQ(ids.count("it"), 0u);

    file().languages()["en"].remove();
    compiler().compile("languages", {"en"});
    EXPECT_EQ(ids, (ResourceIndex::Map{{"de", 1}, {"fr", 2}}));
    ASSERT_EQ(scene().languages().languages.size(), 3u);
    EXPECT_EQ(strings("fr"), (std::vector<std::string>{"greeting", "Bonjour"}));

    /* A deletion needs no default language */
    editor.localization.translations.erase("en");
    file().languages()["de"].remove();
    compiler().compile("languages", {"de"});
    EXPECT_EQ(ids, (ResourceIndex::Map{{"fr", 1}}));
}

}}}
