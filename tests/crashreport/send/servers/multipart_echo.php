<?php
// Router for php -S: answers (and keeps in parsed.json in the served folder) what PHP
// made of a multipart request, as a tracker written in PHP sees it.
$files = [];
foreach ($_FILES as $field => $file) {
    $bytes = is_uploaded_file($file['tmp_name']) ? file_get_contents($file['tmp_name']) : '';
    $files[$field] = ['name' => $file['name'], 'size' => $file['size'], 'error' => $file['error'],
                      'type' => $file['type'], 'base64' => base64_encode($bytes)];
}
$answer = json_encode(['uri' => $_SERVER['REQUEST_URI'], 'post' => $_POST, 'files' => $files]);
file_put_contents($_SERVER['DOCUMENT_ROOT'] . '/parsed.json', $answer);
header('Content-Type: application/json');
echo $answer;
