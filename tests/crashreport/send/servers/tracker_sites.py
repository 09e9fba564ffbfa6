#!/usr/bin/python3
"""Fake Mantis, Bugzilla and FogBugz sites for the bug-tracker tests.

  tracker_sites.py KIND SCENARIO --log FILE

KIND is mantis, bugzilla or fogbugz; SCENARIO is new, existing, closed,
badlogin, or (FogBugz) notoken. The site expects one fixed sequence of
requests below /tracker/: each request must have the expected method, page,
query, field names in order, field values and files, and (after the login)
the session cookie. Every request is logged as one JSON line with what was
wrong with it ("errors", empty when it was as expected). Prints "PORT <n>".
"""
import argparse
import json
import re
import sys
import threading
import urllib.parse
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer

USER, PASSWORD = "reporter", "secret pw"
PROJECT, CATEGORY = "Crash Project", "Reports"
VERSION, CLASS, ID = "2.0", "EAccessViolation", "AB12"
TITLE = "[v2.0 - 1]: EAccessViolation (AB12)"
SEARCH = "EAccessViolation (AB12)"
MESSAGE = "Access violation at address 0"
REPRO = "Open a file.\r\nClick twice."
EVENT = MESSAGE + "\r\n\r\n---\r\n\r\n" + REPRO
CUSTOM = [("customer", "ACME")]
COOKIE = "TRK=session-1"


def step(method, page, names, values=None, files=None, query=None, answer=(200, [], ""), cookie=True):
    return {"method": method, "page": page, "names": names, "values": values or {}, "files": files or {},
            "query": query, "answer": answer, "cookie": cookie}


def redirect(to, cookie=False):
    headers = [("Location", to)]
    if cookie:
        headers.append(("Set-Cookie", COOKIE + "; Path=/"))
    return (302, headers, "moved")


def login_answer(html):
    return (200, [("Set-Cookie", COOKIE + "; Path=/")], html)


def sel(name, options, selected=None):
    """A select list: options are (value, title)."""
    out = '<select name="%s">' % name
    for value, title in options:
        out += '<option value="%s"%s>%s</option>' % (value, " selected" if value == selected else "", title)
    return out + "</select>\n"


def hidden(name, value):
    return '<input type="hidden" name="%s" value="%s">\n' % (name, value)


def custom_names():
    return [n for n, _ in CUSTOM]


# --- Mantis ---

def mantis(scenario):
    s = [step("POST", "login.php", ["return", "username", "password"],
              {"return": "login_select_proj_page.php", "username": USER, "password": PASSWORD},
              answer=redirect("login_page.php?error=1" if scenario == "badlogin" else "login_select_proj_page.php",
                              cookie=scenario != "badlogin"), cookie=False)]
    if scenario == "badlogin":
        return s + [step("GET", "login_page.php", ["error"], {"error": "1"}, answer=(200, [], "Your account may be disabled"),
                         cookie=False)]
    s += [step("GET", "login_select_proj_page.php", [],
               answer=(200, [], "<form>" + sel("project_id", [("0", "All Projects"), ("7", PROJECT)]) + "</form>")),
          step("POST", "set_project.php", ["project_id"], {"project_id": "7"}, answer=redirect("my_view_page.php")),
          step("GET", "my_view_page.php", [],
               answer=(200, [], sel("project_id", [("0", "All Projects"), ("7", PROJECT)], "7") +
                       '<a href="bug_report_page.php">Report</a>')),
          step("POST", "view_all_set.php", ["type", "page_number", "view_type", "search"],
               {"type": "1", "page_number": "1", "view_type": "simple", "search": SEARCH}, query="f=3",
               answer=redirect("view_all_bug_page.php"))]
    found = '<a href="bug_update_page.php?bug_id=17">edit</a>' if scenario != "new" else "no bugs"
    s.append(step("GET", "view_all_bug_page.php", [],
                  answer=(200, [], '<input type="submit" name="reset_query_button" value="Reset">' + found)))
    if scenario == "new":
        form = (hidden("m_id", "0") + hidden("project_id", "7") + hidden("bug_report_token", "TOKEN-9") +
                sel("handler_id", [("0", ""), ("3", "dev one"), ("4", "reporter")]) +
                sel("category", [("1", "General"), ("2", CATEGORY)]) +
                sel("severity", [("10", "feature"), ("50", "minor")], "50") +
                sel("priority", [("20", "low"), ("30", "normal")], "30") +
                '<input type="text" name="platform" value="PC">\n' +
                '<input type="checkbox" name="report_stay" value="1">\n' +
                sel("category_id", [("1", "General"), ("2", CATEGORY)]) +
                '<input name="file" type="file" size="40">\n')
        names = ["m_id", "project_id", "handler_id", "category", "reproducibility", "severity", "priority", "platform",
                 "os", "os_build", "build", "summary", "description", "steps_to_reproduce", "additional_info",
                 "view_state", "report_stay", "bug_report_token", "category_id"] + custom_names()
        values = {"m_id": "0", "project_id": "7", "handler_id": "3", "category": "2", "reproducibility": "10",
                  "severity": "50", "priority": "30", "platform": "PC", "os": "Linux", "os_build": "6.1",
                  "build": VERSION, "summary": TITLE, "description": MESSAGE, "steps_to_reproduce": REPRO,
                  "additional_info": "", "view_state": "10", "report_stay": "1", "bug_report_token": "TOKEN-9",
                  "category_id": "2", "customer": "ACME"}
        s += [step("GET", "bug_report_advanced_page.php", [], answer=(200, [], form)),
              step("MULTIPART", "bug_report.php", names, values, files={"file": "BugReport.zip"},
                   answer=(200, [], 'Operation successful. <a href="view.php?id=18">View</a>'))]
        return s
    status = "80" if scenario == "closed" else "50"
    form = (hidden("bug_id", "17") + hidden("update_mode", "1") + hidden("bug_update_token", "UPD-1") +
            '<input type="text" name="summary" value="[v1.0 - 3]: EAccessViolation (AB12)">\n' +
            sel("category", [("1", "General"), ("2", CATEGORY)], "2") +
            sel("severity", [("50", "minor")], "50") + sel("reproducibility", [("10", "always")], "10") +
            sel("reporter_id", [("4", "reporter")], "4") + sel("view_state", [("10", "public")], "10") +
            sel("handler_id", [("0", "")], "0") + sel("priority", [("30", "normal")], "30") +
            sel("resolution", [("10", "open"), ("20", "fixed")]) +
            sel("status", [("10", "new"), ("50", "assigned"), ("80", "resolved")], status) +
            '<textarea name="description" cols="80">It crashed.</textarea>\n' +
            '<textarea name="additional_information"></textarea>\n<textarea name="bugnote_text"></textarea>\n' +
            sel("category_id", [("2", CATEGORY)], "2"))
    s.append(step("GET", "bug_update_page.php", ["bug_id"], {"bug_id": "17"}, answer=(200, [], form)))
    if scenario == "closed":
        return s
    names = ["summary", "bug_id", "update_mode", "category", "severity", "reproducibility", "reporter_id",
             "view_state", "handler_id", "priority", "description", "additional_information", "bugnote_text",
             "build", "bug_update_token", "category_id"] + custom_names()
    values = {"summary": "[v1.0 - 4]: EAccessViolation (AB12)", "bug_id": "17", "description": "It crashed.",
              "additional_information": "", "build": VERSION, "bug_update_token": "UPD-1", "category_id": "2"}
    return s + [step("POST", "bug_update.php", names, values, answer=redirect("view.php?id=17")),
                step("GET", "view.php", ["id"], {"id": "17"},
                     answer=(200, [], 'Updated. <a href="view.php?id=17">View</a>'))]


# --- Bugzilla ---

def bugzilla(scenario):
    login = "Log in again" if scenario == "badlogin" else '<a href="index.cgi?logout=1">Log out</a>'
    s = [step("POST", "enter_bug.cgi", ["project", "Bugzilla_login", "Bugzilla_password"],
              {"project": PROJECT, "Bugzilla_login": USER, "Bugzilla_password": PASSWORD},
              answer=login_answer(login), cookie=False)]
    if scenario == "badlogin":
        return s
    found = '<a href="show_bug.cgi?id=42">42</a>' if scenario != "new" else "Zarro Boogs found."
    s.append(step("GET", "buglist.cgi", ["query_format", "order", "bug_status", "product", "component", "content"],
                  {"query_format": "specific", "order": "relevance desc", "bug_status": "__all__",
                   "product": PROJECT, "component": CATEGORY, "content": " (AB12)"},
                  answer=(200, [], '<a href="query.cgi?format=advanced">Edit search</a>' + found)))
    if scenario == "new":
        form = ('<form name="Create" action="post_bug.cgi" method="post">\n' + hidden("product", PROJECT) +
                sel("version", [("1.0", "1.0"), ("2.0", "2.0")], "1.0") +
                sel("component", [("Reports", "Reports")], "Reports") +
                sel("rep_platform", [("PC", "PC")], "PC") + sel("op_sys", [("Linux", "Linux")], "Linux") +
                sel("priority", [("P3", "P3")], "P3") + sel("bug_severity", [("major", "major")], "major") +
                sel("target_milestone", [("---", "---")], "---") +
                sel("bug_status", [("NEW", "NEW"), ("UNCONFIRMED", "UNCONFIRMED")], "NEW") +
                '<input name="qa_contact" value="qa@example.org">\n<input name="cc" value="">\n' +
                '<input name="estimated_time" value="0.0">\n<input name="bug_file_loc" value="http://">\n</form>')
        names = ["product", "version", "component", "rep_platform", "op_sys", "priority", "bug_severity",
                 "target_milestone", "assigned_to", "qa_contact", "estimated_time", "bug_file_loc", "short_desc",
                 "comment", "form_name", "bug_status"] + custom_names()
        values = {"product": PROJECT, "version": VERSION, "component": "Reports", "assigned_to": USER,
                  "qa_contact": "qa@example.org", "estimated_time": "0.0", "bug_file_loc": "http://",
                  "short_desc": TITLE, "comment": EVENT, "form_name": "enter_bug", "bug_status": "NEW",
                  "customer": "ACME"}
        attach = ["bugid", "action", "description", "contenttypemethod", "contenttypeselection",
                  "contenttypeentry", "flag_type-1", "flag_type-2", "flag_type-3", "flag_type-4", "comment"]
        return s + [
            step("GET", "enter_bug.cgi", ["product", "component"], {"product": PROJECT, "component": CATEGORY},
                 answer=(200, [], form)),
            step("POST", "post_bug.cgi", names, values,
                 answer=(200, [], 'Bug 43 Submitted <a href="show_bug.cgi?id=43">43</a>' + hidden("id", "43"))),
            step("MULTIPART", "attachment.cgi", attach,
                 {"bugid": "43", "action": "insert", "description": "FILE", "contenttypemethod": "list",
                  "contenttypeselection": "application/octet-stream", "contenttypeentry": "", "flag_type-1": "X",
                  "comment": ""}, files={"data": "BugReport.zip"},
                 answer=(200, [], 'Attachment 5 added <a href="attachment.cgi?id=5">view</a>'))]
    closed = '<input type="submit" value="reopen">' if scenario == "closed" else ""
    page = ('<form name="changeform" method="post" action="process_bug.cgi">' + hidden("form_name", "process_bug") +
            hidden("delta_ts", "2024-01-01 10:00:00") + hidden("longdesclength", "3") + hidden("id", "42") +
            hidden("token", "TK-42") +
            '<input name="short_desc" value="[v2.0 - 1]: EAccessViolation (AB12)">\n' +
            sel("product", [(PROJECT, PROJECT)], PROJECT) + sel("component", [("Reports", "Reports")], "Reports") +
            sel("rep_platform", [("PC", "PC")], "PC") + sel("op_sys", [("Linux", "Linux")], "Linux") +
            sel("version", [("1.0", "1.0"), ("2.0", "2.0")], "1.0") + sel("priority", [("P3", "P3")], "P3") +
            sel("bug_severity", [("major", "major")], "major") + sel("target_milestone", [("---", "---")], "---") +
            '<input name="cc" value="a@example.org">\n<input name="keywords" value="crash">\n' +
            '<textarea name="comment" id="comment"></textarea>\n' +
            sel("resolution", [("FIXED", "FIXED")]) + hidden("assigned_to", "dev@example.org") + closed +
            '<a href="show_bug.cgi?id=42">42</a></form>')
    s.append(step("GET", "show_bug.cgi", ["id"], {"id": "42"}, answer=(200, [], page)))
    if scenario == "closed":
        return s
    names = ["short_desc", "delta_ts", "longdesclength", "id", "token", "bug_file_loc", "product", "component",
             "rep_platform", "op_sys", "version", "priority", "bug_severity", "target_milestone", "cc", "keywords",
             "flag_type-6", "comment", "knob", "assigned_to", "form_name"] + custom_names()
    values = {"short_desc": "[v2.0 - 2]: EAccessViolation (AB12)", "id": "42", "token": "TK-42", "bug_file_loc": "",
              "version": VERSION, "flag_type-6": "X", "comment": "", "knob": "none", "form_name": "process_bug"}
    return s + [step("POST", "process_bug.cgi", names, values,
                     answer=(200, [], 'Changes submitted for <a href="show_bug.cgi?id=42">bug 42</a>'))]


# --- FogBugz ---

def fogbugz(scenario):
    login = "Wrong password" if scenario == "badlogin" else '<a href="default.asp?pre=preLogOff">Log Off</a>'
    s = [step("POST", "default.asp", ["pre", "dest", "sPerson", "sPassword", "fRememberPassword", "ID"],
              {"pre": "preLogon", "dest": "", "sPerson": USER, "sPassword": PASSWORD, "fRememberPassword": "0",
               "ID": "TRIAL-1"}, answer=login_answer(login), cookie=False)]
    if scenario == "badlogin":
        return s
    found = '<a href="default.asp?pgx=EV&amp;ixBug=9">9</a>' if scenario in ("existing", "closed") else ""
    s.append(step("GET", "default.asp", ["pre", "pg", "pgBack", "search", "bAlsoSearchClosedBugs", "searchFor"],
                  {"pre": "preSearch", "pg": "pgList", "searchFor": SEARCH},
                  answer=(200, [], '<a href="default.asp?searchFor=x">again</a>' + found)))
    token = "" if scenario == "notoken" else "TOK-123"
    action = "default.asp?pre=preSubmitBug" + ("&sActionToken=" + token if token else "")
    submit_query = "pre=preSubmitBug" + ("&sActionToken=" + token if token else "")
    if scenario in ("new", "notoken"):
        form = ('<form action="%s" method="post">' % action + hidden("command", "new") +
                hidden("dtTimeStamp", "1/1/2024") + hidden("ixBug", "0") + hidden("ixBugEventLatest", "0") +
                hidden("ixPersonLastOwner", "2") + hidden("ixDiscussTopic", "0") + hidden("ixScreenshot", "0") +
                sel("ixProject", [("1", "Inbox"), ("5", PROJECT)]) +
                sel("ixArea", [("8", "Inbox: Misc"), ("9", PROJECT + ": " + CATEGORY)]) +
                sel("ixPersonAssignedTo", [("2", "Admin"), ("3", "Dev")], "2") +
                sel("ixCategory", [("1", "Bug")], "1") + sel("ixFixFor", [("1", "Undecided")], "1") +
                hidden("hrsElapsedNew", "0") + hidden("omitAtt", "1") + hidden("fIEFileBrowse", "1") +
                hidden("sComputer", "") + hidden("dblTimeStamp", "45000.5") + "</form>")
        names = ["command", "dtTimeStamp", "ixBug", "ixBugEventLatest", "ixPersonLastOwner", "ixDiscussTopic",
                 "ixScreenshot", "sTitle", "sEvent", "ixProject", "ixArea", "ixPersonAssignedTo", "ixCategory",
                 "ixFixFor", "ixPriority", "hrsCurrEstNew", "hrsElapsedNew", "omitAtt", "fIEFileBrowse", "sVersion",
                 "dblTimeStamp"] + custom_names() + ["nFileCount"]
        values = {"command": "new", "sTitle": TITLE, "sEvent": EVENT, "ixProject": "5", "ixArea": "9",
                  "ixPersonAssignedTo": "2", "ixPriority": "1", "hrsCurrEstNew": "", "sVersion": VERSION,
                  "nFileCount": "1", "customer": "ACME"}
        return s + [step("GET", "default.asp", ["command", "pg"], {"command": "new", "pg": "pgEditBug"},
                         answer=(200, [], form)),
                    step("MULTIPART", "default.asp", names, values, files={"File1": "BugReport.zip"},
                         query=submit_query,
                         answer=(200, [], '<a href="default.asp?command=resolve&ixBug=10">Resolve</a>'))]
    closed = '<a href="default.asp?pg=pgEditReleaseNotes">Release notes</a>' if scenario == "closed" else ""
    form = ('<form action="%s" method="post">' % action + hidden("command", "edit") +
            hidden("dtTimeStamp", "1/1/2024") + hidden("ixBugEventLatest", "31") +
            '<input name="sTitle" value="[v1.0 - 5]: EAccessViolation (AB12)">' +
            hidden("sOriginalTitle", "[v1.0 - 5]: EAccessViolation (AB12)") +
            sel("ixProject", [("5", PROJECT)], "5") + sel("ixArea", [("9", "Reports")], "9") +
            sel("ixPersonAssignedTo", [("3", "Dev")], "3") + sel("ixCategory", [("1", "Bug")], "1") +
            sel("ixFixFor", [("1", "Undecided")], "1") + sel("ixPriority", [("3", "Must Fix")], "3") +
            hidden("fIEFileBrowse", "1") + hidden("nFileCount", "0") +
            '<textarea name="sEvent"></textarea><input type="submit" name="OK" value="OK">' + closed + "</form>")
    s.append(step("GET", "default.asp", ["pg", "command", "ixBug"], {"pg": "pgEditBug", "command": "edit", "ixBug": "9"},
                  answer=(200, [], form)))
    if scenario == "closed":
        return s
    names = ["sTitle", "command", "dtTimeStamp", "ixBug", "ixBugEventLatest", "sOriginalTitle", "ixProject", "ixArea",
             "ixPersonAssignedTo", "ixCategory", "ixFixFor", "ixPriority", "fIEFileBrowse", "fIEFileBrowse",
             "nFileCount", "sEvent", "sOriginalTitle", "sVersion"] + custom_names()
    values = {"sTitle": "[v1.0 - 6]: EAccessViolation (AB12)", "command": "edit", "ixBug": "9", "sEvent": "",
              "sVersion": VERSION}
    return s + [step("MULTIPART", "default.asp", names, values, query=submit_query,
                     answer=(200, [], '<a href="default.asp?command=resolve&ixBug=9">Resolve</a>'))]


def parse_multipart(content_type, body):
    boundary = content_type.split("boundary=", 1)[1].encode()
    fields, files = [], {}
    for part in body.split(b"--" + boundary)[1:]:
        if part.startswith(b"--"):
            break
        head, _, content = part[2:].partition(b"\r\n\r\n")
        content = content[:-2]
        name = re.search(rb'name="([^"]*)"', head).group(1).decode()
        filename = re.search(rb'filename="([^"]*)"', head)
        if filename is None:
            fields.append((name, content.decode("utf-8", "replace")))
        else:
            files[name] = filename.group(1).decode() if content else None
    return fields, files


class Handler(BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    steps = []
    position = 0
    lock = threading.Lock()
    log = None

    def log_message(self, *args):
        pass

    def do_GET(self):
        self.serve(b"")

    def do_POST(self):
        length = int(self.headers.get("Content-Length") or 0)
        self.serve(self.rfile.read(length))

    def serve(self, body):
        with Handler.lock:
            index = Handler.position
            Handler.position += 1
        path, _, query = self.path.partition("?")
        page = path[len("/tracker/"):] if path.startswith("/tracker/") else path
        content_type = self.headers.get("Content-Type") or ""
        method = self.command
        files = {}
        if method == "GET":
            fields = urllib.parse.parse_qsl(query, keep_blank_values=True)
        elif content_type.startswith("multipart/form-data"):
            method = "MULTIPART"
            fields, files = parse_multipart(content_type, body)
        else:
            fields = urllib.parse.parse_qsl(body.decode("latin-1"), keep_blank_values=True)
        errors = []
        if index >= len(Handler.steps):
            errors.append("unexpected request")
            expected = {"answer": (500, [], "unexpected"), "cookie": False}
        else:
            expected = Handler.steps[index]
            if method != expected["method"] or page != expected["page"]:
                errors.append("asked %s %s, expected %s %s" % (method, page, expected["method"], expected["page"]))
            if expected["query"] is not None and query != expected["query"]:
                errors.append("query %r, expected %r" % (query, expected["query"]))
            names = [n for n, _ in fields]
            if names != expected["names"]:
                errors.append("fields %s, expected %s" % (names, expected["names"]))
            values = dict(fields)
            for name, value in expected["values"].items():
                if values.get(name) != value:
                    errors.append("%s=%r, expected %r" % (name, values.get(name), value))
            if files != expected["files"]:
                errors.append("files %s, expected %s" % (files, expected["files"]))
            if expected["cookie"] and COOKIE not in (self.headers.get("Cookie") or ""):
                errors.append("no session cookie")
        with Handler.lock, open(Handler.log, "a", encoding="utf-8") as f:
            f.write(json.dumps({"method": method, "page": page, "query": query, "fields": fields,
                                "files": files, "errors": errors}) + "\n")
        status, headers, html = expected["answer"]
        data = html.encode()
        self.send_response(status)
        for k, v in headers:
            self.send_header(k, v)
        self.send_header("Content-Type", "text/html")
        self.send_header("Content-Length", str(len(data)))
        self.end_headers()
        self.wfile.write(data)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("kind", choices=["mantis", "bugzilla", "fogbugz"])
    parser.add_argument("scenario", choices=["new", "existing", "closed", "badlogin", "notoken"])
    parser.add_argument("--log", required=True)
    args = parser.parse_args()
    Handler.steps = {"mantis": mantis, "bugzilla": bugzilla, "fogbugz": fogbugz}[args.kind](args.scenario)
    Handler.log = args.log
    server = ThreadingHTTPServer(("127.0.0.1", 0), Handler)
    server.daemon_threads = True
    print("PORT %d" % server.server_address[1], flush=True)
    server.serve_forever()


if __name__ == "__main__":
    main()
