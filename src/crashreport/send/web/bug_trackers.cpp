#include "crashreport/send/web/bug_trackers.h"

#include <algorithm>
#include <cctype>

#include "crashreport/send/web/html_forms.h"

namespace cv {

namespace {

constexpr char Q = '"';

std::string Quoted(const std::string& text) { return std::string(1, Q) + text + Q; }

// The answer is the page with the marker ("page P with M").
bool PageWith(const THTTPConnectionBase& c, const std::string& page, const std::string& marker)
{
    return c.IsSuccessfulSend(page, marker, {});
}

bool Contains(const THTTPConnectionBase& c, const std::string& marker) { return c.IsSuccessfulSend({}, marker, {}); }

// The text after "sActionToken=" in the last answer, up to the next double quote.
std::string ActionToken(const THTTPConnectionBase& c)
{
    static const std::string kMarker = "sactiontoken=";
    const std::string& html = c.LastResponse().HTML;
    std::string lower = html;
    std::transform(lower.begin(), lower.end(), lower.begin(), [](unsigned char ch) { return char(std::tolower(ch)); });
    const std::size_t at = lower.find(kMarker);
    if (at == std::string::npos)
        return {};
    const std::size_t start = at + kMarker.size();
    const std::size_t end = html.find(Q, start);
    return html.substr(start, end == std::string::npos ? std::string::npos : end - start);
}

// Bugzilla's version: the application's own when the form offers it.
void AddBugzillaVersion(THTTPConnectionBase& c, const std::string& version)
{
    if (HasOptionValue(c.LastResponse().HTML, version))
        c.AddField("version", version);
    else
        c.AddFieldByDefaultList("version");
}

} // namespace

std::string TBugReportInputs::Title() const { return "[v" + Version + " - 1]: " + ExceptionClass + " (" + ExceptionID + ")"; }

std::string TBugReportInputs::SearchText() const { return ExceptionClass + " (" + ExceptionID + ")"; }

std::string TBugReportInputs::ReproduceText() const { return ListValueOf(WebFields, "EL_ReproduceText"); }

// --- Mantis ---

TSendResult THTTPMantisSendReport::PostBug(const TBugReportInputs& in, THTTPResponse& R)
{
    THTTPConnectionPtr connection = FHTTPConnectionClass(in.URL, in.Proxy);
    THTTPConnectionBase& c = *connection;
    c.SetSendState(ssLogin, 0);

    c.SetRequest("login.php", rmPOST);
    c.AddField("return", "login_select_proj_page.php");
    c.AddField("username", in.UserName);
    c.AddField("password", in.Password);
    if (!c.SendRequest(R, false) || !(PageWith(c, "login_select_proj_page.php", "name=" + Quoted("project_id")) ||
                                      PageWith(c, "my_view_page.php", "bug_report_page.php" + std::string(1, Q) + ">")))
        return srInvalidLogin;

    c.SetSendState(ssSelectProject, 0);
    const std::string projectList = "<select name=" + Quoted("project_id");
    if (!(PageWith(c, "my_view_page.php", {}) && !Contains(c, projectList))) {
        c.SetRequest("set_project.php", rmPOST);
        c.AddFieldByListTitle("project_id", in.Project);
        if (!c.SendRequest(R, false))
            return srInvalidSelection;
    }
    if (!(PageWith(c, "my_view_page.php", ">" + in.Project + "</option>") ||
          PageWith(c, "my_view_page.php", " " + in.Project + "</option>") ||
          c.IsSuccessfulSend("my_view_page.php", {}, projectList)))
        return srInvalidSelection;

    c.SetSendState(ssSearching, 0);
    c.SetRequest("view_all_set.php?f=3", rmPOST);
    c.AddField("type", "1");
    c.AddField("page_number", "1");
    c.AddField("view_type", "simple");
    c.AddField("search", in.SearchText());
    if (!c.SendRequest(R, false) || !(PageWith(c, "view_all_bug_page.php", "name=" + Quoted("reset_query_button")) ||
                                      PageWith(c, "view_all_bug_page.php", "name=" + Quoted("source_query_id"))))
        return srInvalidSearch;

    const std::string searchPage = c.LastResponse().HTML;
    if (!Contains(c, "bug_update_page.php?bug_id=") && !Contains(c, "bug_update_advanced_page.php?bug_id=")) {
        c.SetRequest("bug_report_advanced_page.php", rmGET);
        if (!c.SendRequest(R, false) ||
            !PageWith(c, "bug_report_advanced_page.php", "name=" + Quoted("file") + " type=" + Quoted("file")))
            return srInvalidInsert;
        c.SetRequest("bug_report.php", rmBinaryPOST);
        c.AddFieldValue("m_id");
        c.AddFieldValue("project_id");
        c.AddFieldByListTitle("handler_id", in.AssignTo);
        c.AddFieldByListTitle("category", in.Category);
        c.AddField("reproducibility", "10");
        c.AddFieldByDefaultList("severity");
        c.AddFieldByDefaultList("priority");
        c.AddFieldValue("platform");
        c.AddField("os", ListValueOf(in.WebFields, "EL_OSType"));
        c.AddField("os_build", ListValueOf(in.WebFields, "EL_OSBuild"));
        c.AddField("build", in.Version);
        c.AddField("summary", in.Title());
        c.AddField("description", in.ErrorMessage);
        c.AddField("steps_to_reproduce", in.ReproduceText());
        c.AddField("additional_info", "");
        c.AddField("view_state", "10");
        c.AddFieldValue("report_stay");
        c.AddFieldValue("bug_report_token");
        c.AddFieldByListTitle("category_id", in.Category);
        c.AddCustomFields(in.WebFields);
        if (!in.AttachedFile.empty())
            c.Files.push_back("file=" + in.AttachedFile);
        if (c.SendRequest(R, true) && PageWith(c, "bug_report.php", "href=" + std::string(1, Q) + "view.php?id="))
            return srOK;
        return srInvalidInsert;
    }

    c.SetSendState(ssModifying, 0);
    std::string bugId;
    ExtractTokenAfter(searchPage, "bug_update_page.php?bug_id=", 1, bugId);
    if (bugId.empty())
        ExtractTokenAfter(searchPage, "bug_update_advanced_page.php?bug_id=", 1, bugId);
    c.SetRequest("bug_update_page.php", rmGET);
    c.AddField("bug_id", bugId);
    if (!c.SendRequest(R, false) || !PageWith(c, "bug_update_page.php", "name=" + Quoted("severity")))
        return srInvalidModify;
    c.SetRequest("bug_update.php", rmPOST);
    if (!c.AddIncrementedField("summary"))
        return srOK;
    std::string status;
    GetSelectedOptionValue(c.LastResponse().HTML, "status", status);
    if (status == "80" || status == "90")
        return srBugClosed;
    c.AddField("bug_id", bugId);
    c.AddFieldValue("update_mode");
    for (const char* name : {"category", "severity", "reproducibility", "reporter_id", "view_state", "handler_id", "priority"})
        c.AddFieldByDefaultList(name);
    c.AddFieldByDefaultList2("resolution");
    for (const char* name : {"description", "additional_information", "bugnote_text"})
        c.AddFieldByTextArea(name);
    c.AddField("build", in.Version);
    c.AddFieldValue("bug_update_token");
    c.AddFieldByDefaultList("category_id");
    c.AddCustomFields(in.WebFields);
    const std::string done = "href=" + std::string(1, Q) + "view.php?id=";
    if (c.SendRequest(R, true) && (PageWith(c, "bug_update.php", done) || PageWith(c, "view.php", done)))
        return srOK;
    return srInvalidModify;
}

// --- Bugzilla ---

TSendResult THTTPBugzillaSendReport::PostBug(const TBugReportInputs& in, THTTPResponse& R)
{
    THTTPConnectionPtr connection = FHTTPConnectionClass(in.URL, in.Proxy);
    THTTPConnectionBase& c = *connection;
    c.SetSendState(ssLogin, 0);

    c.SetRequest("enter_bug.cgi", rmPOST);
    c.AddField("project", in.Project);
    c.AddField("Bugzilla_login", in.UserName);
    c.AddField("Bugzilla_password", in.Password);
    if (!c.SendRequest(R, false) ||
        !(PageWith(c, "enter_bug.cgi", "relogin.cgi") || PageWith(c, "enter_bug.cgi", "index.cgi?logout=1")))
        return srInvalidLogin;

    c.SetSendState(ssSearching, 0);
    c.SetRequest("buglist.cgi", rmGET);
    c.AddField("query_format", "specific");
    c.AddField("order", "relevance desc");
    c.AddField("bug_status", "__all__");
    c.AddField("product", in.Project);
    c.AddField("component", in.Category);
    c.AddField("content", " (" + in.ExceptionID + ")");
    if (!c.SendRequest(R, false) || !PageWith(c, "buglist.cgi", "href=" + std::string(1, Q) + "query.cgi?"))
        return srInvalidSearch;

    std::string reproduce;
    AddOptionalField(in.ErrorMessage, in.ReproduceText(), reproduce);
    if (!Contains(c, "show_bug.cgi?id=")) {
        c.SetSendState(ssSelectProject, 0);
        c.SetRequest("enter_bug.cgi", rmGET);
        c.AddField("product", in.Project);
        c.AddField("component", in.Category);
        if (!c.SendRequest(R, false) || !PageWith(c, "enter_bug.cgi", "action=" + Quoted("post_bug.cgi")))
            return srInvalidSelection;
        c.SetRequest("post_bug.cgi", rmPOST);
        c.AddFieldValue("product");
        c.AddFieldValue("component");
        AddBugzillaVersion(c, in.Version);
        c.AddFieldByDefaultList("component");
        if (ListValueOf(c.Fields, "component").empty()) {
            // The form may fill its component list by script: take its first entry.
            const std::string& html = c.LastResponse().HTML;
            const std::size_t at = html.find("components[0] = ");
            const std::size_t open = at == std::string::npos ? at : html.find(Q, at);
            const std::size_t close = open == std::string::npos ? open : html.find(Q, open + 1);
            if (close != std::string::npos)
                c.AddField("component", html.substr(open + 1, close - open - 1));
        }
        for (const char* name : {"rep_platform", "op_sys", "priority", "bug_severity", "target_milestone"})
            c.AddFieldByDefaultList(name);
        c.AddFieldValue("bug_status");
        c.AddField("assigned_to", in.AssignTo.empty() ? in.UserName : in.AssignTo);
        for (const char* name : {"qa_contact", "cc", "estimated_time", "deadline", "bug_file_loc"})
            c.AddFieldValue(name);
        c.AddField("short_desc", in.Title());
        c.AddField("comment", reproduce);
        for (const char* name : {"keywords", "dependson", "blocked"})
            c.AddFieldValue(name);
        c.AddField("form_name", "enter_bug");
        c.AddFieldByDefaultList("bug_status");
        c.AddCustomFields(in.WebFields);
        if (!c.SendRequest(R, false) || !PageWith(c, "post_bug.cgi", "show_bug.cgi?id="))
            return srInvalidInsert;

        std::string bugId;
        GetInputValue(c.LastResponse().HTML, "id", bugId);
        c.SetRequest("attachment.cgi", rmBinaryPOST);
        c.AddField("bugid", bugId);
        c.AddField("action", "insert");
        c.AddField("description", "FILE");
        c.AddField("contenttypemethod", "list");
        c.AddField("contenttypeselection", "application/octet-stream");
        c.AddField("contenttypeentry", "");
        for (const char* name : {"flag_type-1", "flag_type-2", "flag_type-3", "flag_type-4"})
            c.AddField(name, "X");
        c.AddField("comment", "");
        if (!in.AttachedFile.empty())
            c.Files.push_back("data=" + in.AttachedFile);
        if (c.SendRequest(R, true) && PageWith(c, "attachment.cgi", "attachment.cgi"))
            return srOK;
        return srInvalidInsert;
    }

    c.SetSendState(ssModifying, 0);
    std::string bugId;
    ExtractTokenAfter(c.LastResponse().HTML, "show_bug.cgi?id=", 1, bugId);
    c.SetRequest("show_bug.cgi", rmGET);
    c.AddField("id", bugId);
    if (!c.SendRequest(R, false))
        return srInvalidModify;
    const std::string bugPageMarkers[] = {
        "name=" + Quoted("form_name"),
        "type=" + Quoted("hidden") + " id=" + Quoted("component"),
        "select id=" + Quoted("component") + " name=" + Quoted("component"),
        "<label for=" + Quoted("component") + " accesskey=" + std::string(1, Q),
        "show_bug.cgi?id=",
    };
    if (std::none_of(std::begin(bugPageMarkers), std::end(bugPageMarkers),
                     [&](const std::string& marker) { return PageWith(c, "show_bug.cgi", marker); }))
        return srInvalidModify;
    c.SetRequest("process_bug.cgi", rmPOST);
    if (!c.AddIncrementedField("short_desc"))
        return srOK;
    if (Contains(c, "value=" + Quoted("reopen")) || Contains(c, "value=" + Quoted("reopened")) ||
        Contains(c, "static_bug_status" + std::string(1, Q) + ">RESOLVED"))
        return srBugClosed;
    for (const char* name : {"delta_ts", "longdesclength", "id", "token", "alias", "bug_file_loc"})
        c.AddFieldValue(name);
    if (std::none_of(c.Fields.begin(), c.Fields.end(), [](const std::string& f) { return ListItemName(f) == "bug_file_loc"; }))
        c.AddField("bug_file_loc", "");
    for (const char* name : {"product", "component", "rep_platform", "op_sys"})
        c.AddFieldByDefaultList(name);
    AddBugzillaVersion(c, in.Version);
    for (const char* name : {"priority", "bug_severity", "target_milestone"})
        c.AddFieldByDefaultList(name);
    for (const char* name : {"newcc", "cc", "qa_contact", "bug_file_loc", "status_whiteboard", "keywords"})
        c.AddFieldValue(name);
    c.AddField("flag_type-6", "X");
    for (const char* name : {"requestee_type-6", "dependson", "blocked"})
        c.AddFieldValue(name);
    c.AddFieldByTextArea("comment");
    c.AddField("knob", "none");
    c.AddFieldByDefaultList2("resolution");
    for (const char* name : {"dup_id", "assigned_to", "form_name"})
        c.AddFieldValue(name);
    c.AddCustomFields(in.WebFields);
    if (c.SendRequest(R, true) && PageWith(c, "process_bug.cgi", "show_bug.cgi?id="))
        return srOK;
    return srInvalidModify;
}

// --- FogBugz ---

TSendResult THTTPFogBugzSendReport::PostBug(const TBugReportInputs& in, THTTPResponse& R)
{
    THTTPConnectionPtr connection = FHTTPConnectionClass(in.URL, in.Proxy);
    THTTPConnectionBase& c = *connection;
    c.SetSendState(ssLogin, 0);
    const std::string page = "default.asp";

    c.SetRequest(page, rmPOST);
    c.AddField("pre", "preLogon");
    c.AddField("dest", "");
    c.AddField("sPerson", in.UserName);
    c.AddField("sPassword", in.Password);
    c.AddField("fRememberPassword", "0");
    const std::string trialID = ListValueOf(in.WebFields, "FogBugzTrialID");
    if (!trialID.empty())
        c.AddField("ID", trialID);
    if (!c.SendRequest(R, false) || !PageWith(c, page, "pre=preLogOff"))
        return srInvalidLogin;

    c.SetSendState(ssSearching, 0);
    c.SetRequest(page, rmGET);
    c.AddField("pre", "preSearch");
    c.AddField("pg", "pgList");
    c.AddField("pgBack", "pgSearch");
    c.AddField("search", "1");
    c.AddField("bAlsoSearchClosedBugs", "ON");
    c.AddField("searchFor", in.SearchText());
    if (!c.SendRequest(R, false) || !PageWith(c, page, "searchFor="))
        return srInvalidSearch;

    std::string event;
    AddOptionalField(in.ErrorMessage, in.ReproduceText(), event);
    auto submitAddress = [&] {
        const std::string token = ActionToken(c);
        return token.empty() ? page + "?pre=preSubmitBug" : page + "?pre=preSubmitBug&sActionToken=" + token;
    };
    if (!Contains(c, "default.asp?pg=pgeditbug") && !Contains(c, "default.asp?pgx=EV&amp;ixBug=")) {
        c.SetSendState(ssSelectProject, 0);
        c.SetRequest(page, rmGET);
        c.AddField("command", "new");
        c.AddField("pg", "pgEditBug");
        if (!c.SendRequest(R, false) || !PageWith(c, page, {}))
            return srInvalidInsert;
        c.SetRequest(submitAddress(), rmBinaryPOST);
        for (const char* name : {"command", "dtTimeStamp", "ixBug", "ixBugEventLatest", "ixPersonLastOwner", "ixDiscussTopic",
                                 "ixScreenshot", "sOriginalTitle"})
            c.AddFieldValue(name);
        c.AddField("sTitle", in.Title());
        c.AddField("sEvent", event);
        c.AddFieldByListTitle("ixProject", in.Project);
        c.AddFieldByListTitle("ixArea", in.Project + ": " + in.Category);
        if (in.AssignTo.empty())
            c.AddFieldByDefaultList("ixPersonAssignedTo");
        else
            c.AddFieldByListTitle("ixPersonAssignedTo", in.AssignTo);
        c.AddFieldByDefaultList("ixCategory");
        c.AddFieldByDefaultList("ixFixFor");
        c.AddField("ixPriority", "1");
        c.AddFieldValue("sDueDate");
        c.AddFieldValue("sDueTime");
        c.AddField("hrsCurrEstNew", "");
        for (const char* name : {"hrsElapsedNew", "omitAtt", "fIEFileBrowse"})
            c.AddFieldValue(name);
        c.AddField("sVersion", in.Version);
        c.AddFieldValue("sComputer");
        c.AddFieldValue("dblTimeStamp");
        c.AddCustomFields(in.WebFields);
        if (!in.AttachedFile.empty()) {
            c.AddField("nFileCount", "1");
            c.Files.push_back("File1=" + in.AttachedFile);
        } else {
            c.AddField("nFileCount", "0");
        }
        if (c.SendRequest(R, true) && PageWith(c, page, "command=resolve"))
            return srOK;
        return srInvalidInsert;
    }

    c.SetSendState(ssModifying, 0);
    std::string bugNumber;
    ExtractTokenAfter(c.LastResponse().HTML, "ixBug=", 1, bugNumber);
    c.SetRequest(page, rmGET);
    c.AddField("pg", "pgEditBug");
    c.AddField("command", "edit");
    c.AddField("ixBug", bugNumber);
    if (!c.SendRequest(R, false) || !PageWith(c, page, "name=" + Quoted("OK")))
        return srInvalidModify;
    c.SetRequest(submitAddress(), rmBinaryPOST);
    if (!c.AddIncrementedField("sTitle"))
        return srOK;
    if (Contains(c, "default.asp?pg=pgEditReleaseNotes"))
        return srBugClosed;
    c.AddFieldValue("command");
    c.AddFieldValue("dtTimeStamp");
    c.AddField("ixBug", bugNumber);
    for (const char* name : {"ixBugEventLatest", "ixPersonLastOwner", "ixDiscussTopic", "ixScreenshot", "sOriginalTitle", "sEvent"})
        c.AddFieldValue(name);
    for (const char* name : {"ixProject", "ixArea", "ixPersonAssignedTo", "ixCategory", "ixFixFor", "ixPriority"})
        c.AddFieldByDefaultList(name);
    for (const char* name : {"sDueDate", "sDueTime", "hrsCurrEstNew", "hrsElapsedNew", "dblTimeStamp", "fIEFileBrowse",
                             "fIEFileBrowse", "hrsCurrEstNew", "idSubscriptionState", "ixDiscussTopic", "ixPersonLastOwner",
                             "nFileCount", "omitAtt", "sComputer"})
        c.AddFieldValue(name);
    c.AddFieldByTextArea("sEvent");
    c.AddFieldValue("sOriginalTitle");
    c.AddField("sVersion", in.Version);
    c.AddCustomFields(in.WebFields);
    if (c.SendRequest(R, true) && PageWith(c, page, "command=resolve"))
        return srOK;
    return srInvalidModify;
}

TSendResult PostBugReport(const THTTPConnectionClass& ConnectionClass, const THTTPSendReportClass& ReportClass,
                          const TBugReportInputs& inputs, THTTPResponse& Response)
{
    std::unique_ptr<THTTPSendReport> report = ReportClass();
    report->SetHTTPConnectionClass(ConnectionClass);
    return report->PostBug(inputs, Response);
}

} // namespace cv
