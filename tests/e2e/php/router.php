<?php
// What a typical receiving web application does: read $_GET. Each request becomes one
// JSON line with every value's bytes in hexadecimal, so the test sees exactly what PHP got.
$values = [];
foreach ($_GET as $name => $value) {
    $values[$name] = is_string($value) ? bin2hex($value) : null;
}
$line = json_encode(['ms' => (int) round(microtime(true) * 1000),
                     'path' => parse_url($_SERVER['REQUEST_URI'], PHP_URL_PATH),
                     'get' => $values]) . "\n";
file_put_contents(getenv('ZORVEL_PHP_LOG'), $line, FILE_APPEND | LOCK_EX);
echo 'OK';
